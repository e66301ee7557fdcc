// SPDX-License-Identifier: GPL-3.0-or-later
// The read-only and archive bits of Windows, emulated: read-only is the owner-write bit, and a cleared
// archive bit is an extended attribute holding the write time the file had when it was cleared.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>

#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/PosixUtil.h"

namespace platform {

using detail::Fail;
using detail::RetryEintr;

namespace {

// An entry as the system calls take it: name in the folder dir, or a path with AT_FDCWD.
struct At {
    int dir;
    const std::string& name;
    int Chmod(mode_t mode) const { return fchmodat(dir, name.c_str(), mode, 0); }
};

// Writes or removes the archive record. The kernel wants write permission for user attributes, which
// Windows does not ask for when the archive bit of a read-only file changes: lift the owner-write bit
// around the change when the file is ours.
bool ChangeArchiveRecord(const At& at, const struct stat& st, bool clear) {
    const bool lift = (st.st_mode & S_IWUSR) == 0 && geteuid() != 0 && st.st_uid == geteuid();
    if (lift && at.Chmod((st.st_mode & 07777) | S_IWUSR) != 0) {
        return Fail();
    }
    const std::string path = detail::ProcPath(at.dir, at.name);
    int rc;
    if (clear) {
        const uint64_t writeTime = WriteTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        const std::string value = std::to_string(writeTime);
        rc = RetryEintr(
            [&] { return lsetxattr(path.c_str(), detail::kArchiveAttr, value.data(), value.size(), 0); });
        // Without extended attributes (or a FUSE driver without them) every file stays archived, and clearing
        // quietly does nothing.
        if (rc != 0 && detail::NoExtendedAttributes(errno)) {
            rc = 0;
        }
    } else {
        rc = RetryEintr([&] { return lremovexattr(path.c_str(), detail::kArchiveAttr); });
        if (rc != 0 && (errno == ENODATA || detail::NoExtendedAttributes(errno))) {
            rc = 0;
        }
    }
    const int err = errno;
    if (lift) {
        at.Chmod(st.st_mode & 07777);  // best effort: the record's outcome is what counts
    }
    return rc == 0 || Fail(err);
}

// Makes the bits of the entry described by st (not a link) equal to attributes; archiveNow is its archive
// bit as it reads now.
bool ApplyAttributes(const At& at, struct stat& st, bool archiveNow, uint32_t attributes) {
    const bool wantReadOnly = (attributes & kAttrReadOnly) != 0;
    const bool isReadOnly = (st.st_mode & S_IWUSR) == 0;
    if (isReadOnly && !wantReadOnly) {
        if (at.Chmod((st.st_mode & 07777) | S_IWUSR) != 0) {
            return Fail();
        }
        st.st_mode |= S_IWUSR;
    }
    const bool wantArchive = (attributes & kAttrArchive) != 0;
    const bool supportsArchive = S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
    if (supportsArchive && wantArchive != archiveNow && !ChangeArchiveRecord(at, st, !wantArchive)) {
        return false;
    }
    if (!isReadOnly && wantReadOnly && at.Chmod(st.st_mode & 07777 & ~0222u) != 0) {
        return Fail();
    }
    return true;
}

bool ArchiveNow(const At& at, const struct stat& st) {
    return detail::ReadArchiveAt(at.dir, at.name, WriteTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
}

bool ChangeBits(const At& at, uint32_t mask, bool set) {
    struct stat st;
    if (fstatat(at.dir, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return Fail();
    }
    if (S_ISLNK(st.st_mode)) {
        return true;
    }
    if (FaultHit(FaultOp::SetAttributes)) {
        return false;
    }
    // One look at the file: the archive record is read only when the archive bit is to change.
    const bool archiveNow = (mask & kAttrArchive) != 0 ? ArchiveNow(at, st) : true;
    const uint32_t now = ((st.st_mode & S_IWUSR) == 0 ? kAttrReadOnly : 0) | (archiveNow ? kAttrArchive : 0);
    const uint32_t wanted = set ? (now | mask) : (now & ~mask);
    if (wanted == now) {
        return true;
    }
    return ApplyAttributes(at, st, archiveNow, wanted);
}

uint32_t BitsOf(const FileInfo& info) {
    return (info.readOnly ? kAttrReadOnly : 0) | (info.archive ? kAttrArchive : 0);
}

}  // namespace

bool GetAttributes(const std::string& path, uint32_t& attributes) {
    FileInfo info;
    if (!StatPath(path, info, true)) {
        return false;
    }
    attributes = BitsOf(info);
    return true;
}

bool GetAttributes(const CFolder& folder, const std::string& name, uint32_t& attributes) {
    FileInfo info;
    if (!folder.Stat(name, info, true)) {
        return false;
    }
    attributes = BitsOf(info);
    return true;
}

bool ChangeAttributeBits(const std::string& path, uint32_t mask, bool set) {
    return ChangeBits({AT_FDCWD, path}, mask, set);
}

bool ChangeAttributeBits(const CFolder& folder, const std::string& name, uint32_t mask, bool set) {
    return ChangeBits({detail::FolderFd(folder), name}, mask, set);
}

}  // namespace platform
