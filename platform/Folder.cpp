// SPDX-License-Identifier: GPL-3.0-or-later
// CFolder: folder walks by handle. Entries come from getdents64 with the kind the file system already
// knows, so a listing costs no stat per entry; names are looked up relative to the open folder.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/PinnedFolder.h"
#include "platform/PosixUtil.h"

namespace platform {

using detail::Fail;
using detail::RetryEintr;

namespace {

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
    detail::FillInfo(st, info);
    if (withArchive && (info.kind == EntryKind::File || info.kind == EntryKind::Folder)) {
        info.archive = detail::ReadArchiveAt(m_fd, name, info.writeTime);
    }
    return true;
}

std::string CFolder::HeldPath(const std::string& name) const {
    return "/proc/self/fd/" + std::to_string(m_fd) + "/" + name;
}

bool CFolder::RemoveLeftover(const std::string& name) const {
    struct stat st;
    if (!IsPlainName(name) || !IsLeftoverName(name) ||
        fstatat(m_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) {
        return false;
    }
    return unlinkat(m_fd, name.c_str(), 0) == 0 || Fail();
}

}  // namespace platform
