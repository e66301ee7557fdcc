// SPDX-License-Identifier: GPL-3.0-or-later
// Folders of a tree held by handle. openat2 walks the whole relative path in one call and refuses any
// link on the way; older kernels and paths longer than PATH_MAX get the same walk one level at a time.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <utility>

#include "PlatformConfig.h"
#include "platform/PinnedFolder.h"
#include "platform/PosixUtil.h"
#include "support/Mutex.h"

#ifdef TANDREL_HAVE_OPENAT2
#include <linux/openat2.h>
#endif

namespace platform {

using detail::CFd;
using detail::Fail;
using detail::RetryEintr;

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// One level: the folder name of the folder dir, never a link. An O_PATH open of a link with O_NOFOLLOW
// gives ENOTDIR; the caller is told ELOOP, what a link on the way means everywhere else.
int OpenLevel(int dir, const std::string& name, bool create) {
    int fd = RetryEintr([&] { return openat(dir, name.c_str(), kFolderFlags | O_NOFOLLOW); });
    if (fd < 0 && errno == ENOENT && create) {
        if (mkdirat(dir, name.c_str(), 0777) != 0 && errno != EEXIST) {
            return -1;
        }
        fd = RetryEintr([&] { return openat(dir, name.c_str(), kFolderFlags | O_NOFOLLOW); });
    }
    struct stat st;
    if (fd < 0 && errno == ENOTDIR && fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(st.st_mode)) {
        errno = ELOOP;
    }
    return fd;
}

int OpenBeneath(int root, std::string_view relative, bool create) {
#ifdef TANDREL_HAVE_OPENAT2
    struct open_how how = {};
    how.flags = kFolderFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const std::string path(relative);
    const int fd = static_cast<int>(
        RetryEintr([&] { return syscall(SYS_openat2, root, path.c_str(), &how, sizeof how); }));
    // An older kernel, a path longer than PATH_MAX, or folders still to be made: level by level.
    if (fd >= 0 || (errno != ENOSYS && errno != ENAMETOOLONG && !(create && errno == ENOENT))) {
        return fd;
    }
#endif
    // Level by level, making what is missing on the way when asked.
    CFd current(RetryEintr([&] { return openat(root, ".", kFolderFlags); }));
    for (size_t start = 0; current.Valid() && start < relative.size();) {
        size_t end = relative.find('/', start);
        if (end == std::string_view::npos) {
            end = relative.size();
        }
        if (end > start) {
            const int next =
                OpenLevel(current.Get(), std::string(relative.substr(start, end - start)), create);
            const int err = errno;
            current.Reset(next);
            errno = err;
        }
        start = end + 1;
    }
    return current.Valid() ? current.Release() : -1;
}

// The roots held for the run (CHeldRoots), by their path without trailing "/".
CMutex g_heldMutex;
std::vector<std::pair<std::string, int>> g_held GUARDED_BY(g_heldMutex);

std::string RootKey(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

CHeldRoots::~CHeldRoots() {
    CMutexLock lock(g_heldMutex);
    for (const auto& [path, fd] : g_held) {
        close(fd);
    }
    g_held.clear();
}

bool CHeldRoots::Hold(const std::vector<std::string>& roots, std::string& failed) {
    std::vector<std::pair<std::string, int>> held;
    const auto release = [&held] {
        for (const auto& [path, fd] : held) {
            close(fd);
        }
    };
    CFd top(RetryEintr([] { return open("/", kFolderFlags); }));
    for (const std::string& root : roots) {
        std::string key = RootKey(root);
        // From "/" down, no step through a link: the folder that stands at the judged path now.
        int fd = -1;
        if (key.empty() || key[0] != '/') {
            errno = EINVAL;
        } else if (top.Valid()) {
            fd = key == "/" ? RetryEintr([] { return open("/", kFolderFlags); })
                            : OpenBeneath(top.Get(), std::string_view(key).substr(1), false);
        }
        if (fd < 0) {
            Fail();
            release();
            failed = root;
            return false;
        }
        held.emplace_back(std::move(key), fd);
    }
    CMutexLock lock(g_heldMutex);
    for (auto& entry : held) {
        g_held.push_back(std::move(entry));
    }
    return true;
}

namespace detail {

int OpenFolderPath(const std::string& path, int flags) {
    {
        CMutexLock lock(g_heldMutex);
        const std::string key = RootKey(path);
        for (const auto& [root, fd] : g_held) {
            if (root == key) {
                const int held = fd;
                return RetryEintr([&] { return openat(held, ".", flags); });
            }
        }
    }
    return RetryEintr([&] { return open(path.c_str(), flags); });
}

}  // namespace detail

CPinnedFolder::CPinnedFolder(int fd) : m_fd(fd), m_path("/proc/self/fd/" + std::to_string(fd) + "/") {}

CPinnedFolder::~CPinnedFolder() {
    close(m_fd);
}

std::shared_ptr<CPinnedFolder> CPinnedFolder::OpenRoot(const std::string& root) {
    const int fd = detail::OpenFolderPath(root, kFolderFlags);
    if (fd < 0) {
        Fail();
        return nullptr;
    }
    return std::shared_ptr<CPinnedFolder>(new CPinnedFolder(fd));
}

std::shared_ptr<CPinnedFolder> CPinnedFolder::Open(const std::shared_ptr<CPinnedFolder>& root,
                                                   std::string_view relative, bool create) {
    if (relative.empty()) {
        return root;
    }
    const int fd = OpenBeneath(root->m_fd, relative, create);
    if (fd < 0) {
        Fail();
        return nullptr;
    }
    return std::shared_ptr<CPinnedFolder>(new CPinnedFolder(fd));
}

void CPinnedFolder::TakeDefaultAcl(const CPinnedFolder& from) const {
    // An O_PATH handle has no xattr calls of its own: through its /proc path, which is the folder itself.
    constexpr char kDefaultAcl[] = "system.posix_acl_default";
    std::vector<char> value(512);
    ssize_t n;
    while ((n = getxattr(from.m_path.c_str(), kDefaultAcl, value.data(), value.size())) < 0 &&
           errno == ERANGE) {
        value.resize(value.size() * 4);
    }
    if (n > 0) {
        (void)setxattr(m_path.c_str(), kDefaultAcl, value.data(), static_cast<size_t>(n), 0);
    }
}

}  // namespace platform
