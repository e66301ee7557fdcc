// SPDX-License-Identifier: GPL-3.0-or-later
// CFolder: folders held by handle. Entries come from getdents64 with the kind the file system already
// knows, so a listing costs no stat per entry; names are looked up relative to the open folder.
// openat2 walks a whole relative path in one call and refuses any link on the way; older kernels and
// paths longer than PATH_MAX get the same walk one level at a time.
#include "platform/Folder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "PlatformConfig.h"
#include "platform/HeldRoots.h"
#include "platform/PosixUtil.h"

#ifdef TANDREL_HAVE_OPENAT2
#include <linux/openat2.h>
#endif

namespace platform {

using detail::CFd;
using detail::Fail;
using detail::RetryEintr;

namespace {

// One level: the folder name of the folder dir. Without followLinks never a link: an O_PATH open of a
// link with O_NOFOLLOW gives ENOTDIR, and the caller is told ELOOP, what a link on the way means
// everywhere else.
int OpenLevel(int dir, const std::string& name, bool create, bool followLinks, unsigned mode) {
    const int flags = detail::kHandleFlags | (followLinks ? 0 : O_NOFOLLOW);
    int fd = RetryEintr([&] { return openat(dir, name.c_str(), flags); });
    if (fd < 0 && errno == ENOENT && create) {
        if (mkdirat(dir, name.c_str(), mode) != 0 && errno != EEXIST) {
            return -1;
        }
        fd = RetryEintr([&] { return openat(dir, name.c_str(), flags); });
    }
    struct stat st;
    if (fd < 0 && errno == ENOTDIR && !followLinks &&
        fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        errno = ELOOP;
    }
    return fd;
}

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The kernel's record; glibc declares no type for it.
struct LinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

EntryKind KindFromMode(mode_t mode) {
    if (S_ISREG(mode)) {
        return EntryKind::File;
    }
    if (S_ISDIR(mode)) {
        return EntryKind::Folder;
    }
    if (S_ISLNK(mode)) {
        return EntryKind::Link;
    }
    return EntryKind::Other;
}

// A name of this folder's own: one that cannot walk into other folders.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// Null, with the error of the failed open; a link where a folder was asked for is "not a folder".
std::unique_ptr<CFolder> NoFolder() {
    Fail(errno == ELOOP ? ENOTDIR : errno);
    return nullptr;
}

}  // namespace

namespace detail {

int FolderFd(const CFolder& folder) {
    return folder.m_fd;
}

int OpenBeneath(int root, std::string_view relative, bool create, bool followLinks, unsigned mode) {
#ifdef TANDREL_HAVE_OPENAT2
    if (!followLinks) {
        struct open_how how = {};
        how.flags = kHandleFlags;
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
        const std::string path(relative);
        const int fd = static_cast<int>(
            RetryEintr([&] { return syscall(SYS_openat2, root, path.c_str(), &how, sizeof how); }));
        // An older kernel, a path longer than PATH_MAX, or folders still to be made: level by level.
        if (fd >= 0 || (errno != ENOSYS && errno != ENAMETOOLONG && !(create && errno == ENOENT))) {
            return fd;
        }
    }
#endif
    // Level by level, making what is missing on the way when asked.
    CFd current(RetryEintr([&] { return openat(root, ".", kHandleFlags); }));
    for (size_t start = 0; current.Valid() && start < relative.size();) {
        size_t end = relative.find('/', start);
        if (end == std::string_view::npos) {
            end = relative.size();
        }
        if (end > start) {
            const int next = OpenLevel(current.Get(), std::string(relative.substr(start, end - start)),
                                       create, followLinks, mode);
            const int err = errno;
            current.Reset(next);
            errno = err;
        }
        start = end + 1;
    }
    return current.Valid() ? current.Release() : -1;
}

}  // namespace detail

CFolder::~CFolder() {
    close(m_fd);
}

std::unique_ptr<CFolder> CFolder::Open(const std::string& path) {
    int fd = detail::OpenFolderPath(path, kOpenFlags);
    if (fd < 0) {
        return NoFolder();
    }
    return std::unique_ptr<CFolder>(new CFolder(fd));
}

std::unique_ptr<CFolder> CFolder::OpenChild(const std::string& name) const {
    if (!IsPlainName(name)) {
        Fail(EINVAL);
        return nullptr;
    }
    int fd = RetryEintr([&] { return openat(m_fd, name.c_str(), kOpenFlags); });
    if (fd < 0) {
        return NoFolder();
    }
    return std::unique_ptr<CFolder>(new CFolder(fd));
}

bool CFolder::ReadEntries(std::vector<DirEntry>& entries) const {
    // From the start each time, so that a second listing of the same handle is complete too; a fresh
    // handle is there already (a scan lists each folder once: no extra call per folder).
    if (m_bListed && lseek(m_fd, 0, SEEK_SET) != 0) {
        return Fail();
    }
    m_bListed = true;
    std::vector<DirEntry> result;
    alignas(8) char buf[32768];
    for (;;) {
        long n = RetryEintr([&] { return syscall(SYS_getdents64, m_fd, buf, sizeof buf); });
        if (n < 0) {
            return Fail();
        }
        if (n == 0) {
            break;
        }
        for (long pos = 0; pos < n;) {
            LinuxDirent64 record;
            std::memcpy(&record, buf + pos, offsetof(LinuxDirent64, d_name));
            const char* name = buf + pos + offsetof(LinuxDirent64, d_name);
            pos += record.d_reclen;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                continue;
            }
            DirEntry entry;
            entry.name = name;
            switch (record.d_type) {
                case DT_REG:
                    entry.kind = EntryKind::File;
                    break;
                case DT_DIR:
                    entry.kind = EntryKind::Folder;
                    break;
                case DT_LNK:
                    entry.kind = EntryKind::Link;
                    break;
                case DT_UNKNOWN: {
                    // Some file systems leave the kind to a stat; an entry gone meanwhile is skipped.
                    struct stat st;
                    if (fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                        continue;
                    }
                    entry.kind = KindFromMode(st.st_mode);
                    break;
                }
                default:
                    entry.kind = EntryKind::Other;
                    break;
            }
            result.push_back(std::move(entry));
        }
    }
    entries = std::move(result);
    return true;
}

bool CFolder::Stat(const std::string& name, FileInfo& info, bool withArchive) const {
    if (!IsPlainName(name)) {
        return Fail(EINVAL);
    }
    struct statx st;
    if (!detail::StatxNoFollow(m_fd, name.c_str(), st)) {
        return false;
    }
    detail::FillInfo(st, info, m_fd, name.c_str());
    if (withArchive && (info.kind == EntryKind::File || info.kind == EntryKind::Folder)) {
        info.archive = detail::ReadArchiveAt(m_fd, name, info.writeTime);
    }
    return true;
}

bool CFolder::Has(const std::string& name) const {
    struct stat st;
    return fstatat(m_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || Fail();
}

void CFolder::RemoveLeftover(const std::string& name) const {
    struct stat st;
    if (IsPlainName(name) && IsLeftoverName(name) &&
        fstatat(m_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) && unlinkat(m_fd, name.c_str(), 0) != 0) {
        Fail();
    }
}

std::shared_ptr<CFolder> CFolder::OpenRoot(const std::string& root) {
    const int fd = detail::OpenFolderPath(root, detail::kHandleFlags);
    if (fd < 0) {
        Fail();
        return nullptr;
    }
    return std::shared_ptr<CFolder>(new CFolder(fd));
}

std::shared_ptr<CFolder> CFolder::Open(const std::shared_ptr<CFolder>& root, std::string_view relative,
                                       bool create) {
    if (relative.empty()) {
        return root;
    }
    const int fd = detail::OpenBeneath(root->m_fd, relative, create);
    if (fd < 0) {
        Fail();
        return nullptr;
    }
    return std::shared_ptr<CFolder>(new CFolder(fd));
}

void CFolder::TakeDefaultAcl(const CFolder& from) const {
    // An O_PATH handle has no xattr calls of its own: through its /proc path, which is the folder itself.
    constexpr char kDefaultAcl[] = "system.posix_acl_default";
    const std::string fromPath = detail::ProcPath(from.m_fd, "");
    std::vector<char> value(512);
    ssize_t n;
    while ((n = getxattr(fromPath.c_str(), kDefaultAcl, value.data(), value.size())) < 0 && errno == ERANGE) {
        value.resize(value.size() * 4);
    }
    if (n > 0) {
        (void)setxattr(detail::ProcPath(m_fd, "").c_str(), kDefaultAcl, value.data(), static_cast<size_t>(n),
                       0);
    }
}

}  // namespace platform
