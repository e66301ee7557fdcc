// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Versions.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "platform/FaultSeam.h"
#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/PosixUtil.h"
#include "support/DepthFirst.h"

namespace platform {

using detail::Fail;

namespace {

// Errors of a file system without hard links (or one that refuses this one: a file of another user under
// protected_hardlinks): the file is moved instead. rclone answers every link with EIO; a medium that
// really fails gives the move its own error.
bool NoLinkHere(int err) {
    return err == EPERM || err == EOPNOTSUPP || err == ENOSYS || err == EMLINK || err == EIO;
}

// Where an entry lies: its file system, and its mount (a bind mount of the same file system has its own).
struct Place {
    dev_t dev = 0;
    uint64_t mount = 0;  // 0 where the kernel does not say
    bool operator==(const Place&) const = default;
};

// The place of name in dir ("" for dir itself), never following a link.
bool PlaceOf(int dir, const char* name, Place& place, bool& folder) {
    struct statx st;
    if (statx(dir, name, AT_SYMLINK_NOFOLLOW | (*name ? 0 : AT_EMPTY_PATH), STATX_TYPE | STATX_MNT_ID, &st) !=
        0) {
        return false;
    }
    place.dev = makedev(st.stx_dev_major, st.stx_dev_minor);
    place.mount = (st.stx_mask & STATX_MNT_ID) ? st.stx_mnt_id : 0;
    folder = S_ISDIR(st.stx_mode);
    return true;
}

}  // namespace

bool KeepAsVersion(const CFolder& folder, const std::string& name, const CFolder& versions,
                   const std::string& version, KeptBy& how) {
    how = KeptBy::Nothing;
    const int dir = detail::FolderFd(folder);
    const int versionDir = detail::FolderFd(versions);
    if (FaultHit(FaultOp::KeepVersion)) {
        errno = LastError().Errno();
    } else if (linkat(dir, name.c_str(), versionDir, version.c_str(), 0) == 0) {
        how = KeptBy::Link;
        return true;
    }
    struct stat st;
    if (errno == ENOENT && fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) {
        return true;  // gone since the run looked: the copy replaces nothing
    }
    if (errno == EXDEV) {
        if (fstatat(versionDir, version.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            return Fail(EEXIST);
        }
        if (!CopyFileAtomic(folder, name, versions, version)) {
            return false;
        }
        how = KeptBy::Copy;
        return true;
    }
    if (!NoLinkHere(errno)) {
        return Fail();
    }
    if (!detail::RenameNoReplace(dir, name.c_str(), versionDir, version.c_str())) {
        return false;
    }
    how = KeptBy::Rename;
    return true;
}

void PutVersionBack(const CFolder& versions, const std::string& version, const CFolder& folder,
                    const std::string& name) {
    (void)detail::RenameNoReplace(detail::FolderFd(versions), version.c_str(), detail::FolderFd(folder),
                                  name.c_str());
}

bool RemoveFolderTree(const CFolder& folder, const std::string& name) {
    // One folder of the tree: its entries, the first not yet removed, and where it is to be removed from.
    struct Level {
        std::unique_ptr<CFolder> folder;
        const CFolder* parent;
        std::string name;
        std::vector<DirEntry> entries;
        size_t next = 0;
        bool all = true;  // everything below it removed so far
    };
    const auto enter = [](const CFolder& parent, const std::string& child) -> std::optional<Level> {
        Level level{parent.OpenChild(child), &parent, child, {}};  // a link there is refused
        if (!level.folder || !level.folder->ReadEntries(level.entries)) {
            return std::nullopt;
        }
        return level;
    };
    Place top;
    Place at;
    bool isFolder = false;
    if (!PlaceOf(detail::FolderFd(folder), "", top, isFolder)) {
        return Fail();
    }
    std::optional<Level> root = enter(folder, name);
    if (!root) {
        return false;
    }
    if (!PlaceOf(detail::FolderFd(*root->folder), "", at, isFolder)) {
        return Fail();
    }
    if (!(at == top)) {
        return Fail(EXDEV);
    }
    bool left = true;  // the outcome of the level the walk left last, until its parent takes it
    WalkDepthFirst(std::move(root), [&](Level& level, size_t) -> std::optional<Level> {
        level.all = level.all && left;
        left = true;
        const int fd = detail::FolderFd(*level.folder);
        while (level.next < level.entries.size()) {
            const std::string& entry = level.entries[level.next++].name;
            bool sub = false;
            if (!PlaceOf(fd, entry.c_str(), at, sub)) {
                level.all = errno == ENOENT ? level.all : Fail();
            } else if (sub && !(at == top)) {
                level.all = Fail(EXDEV);  // a mount point: not ours to empty
            } else if (sub) {
                if (std::optional<Level> child = enter(*level.folder, entry)) {
                    return child;
                }
                level.all = false;
            } else if (unlinkat(fd, entry.c_str(), 0) != 0 && errno != ENOENT) {
                level.all = Fail();
            }
        }
        level.folder.reset();  // closed before it goes
        left = level.all &&
               (unlinkat(detail::FolderFd(*level.parent), level.name.c_str(), AT_REMOVEDIR) == 0 || Fail());
        return std::nullopt;
    });
    return left;
}

int64_t NowSeconds() {
    return static_cast<int64_t>(time(nullptr));
}

std::string LocalFolderStamp(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local;
    localtime_r(&t, &local);
    char buf[32];
    const size_t n = strftime(buf, sizeof buf, "%Y-%m-%d %H%M%S", &local);
    return std::string(buf, n);
}

bool SecondsFromLocalStamp(const std::string& stamp, int64_t& seconds) {
    // Exactly the form LocalFolderStamp writes: 17 characters, digits where it puts digits.
    static constexpr char kForm[] = "dddd-dd-dd dddddd";
    if (stamp.size() != sizeof kForm - 1) {
        return false;
    }
    for (size_t i = 0; i < stamp.size(); ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if (kForm[i] == 'd' ? !digit : stamp[i] != kForm[i]) {
            return false;
        }
    }
    const auto number = [&](size_t at, size_t length) { return std::stoi(stamp.substr(at, length)); };
    struct tm local {};
    local.tm_year = number(0, 4) - 1900;
    local.tm_mon = number(5, 2) - 1;
    local.tm_mday = number(8, 2);
    local.tm_hour = number(11, 2);
    local.tm_min = number(13, 2);
    local.tm_sec = number(15, 2);
    local.tm_isdst = -1;
    struct tm check = local;
    const time_t t = mktime(&local);
    // mktime moves a date that does not exist (February 30th, minute 61) to one that does.
    if (t == static_cast<time_t>(-1) || local.tm_mday != check.tm_mday || local.tm_mon != check.tm_mon ||
        local.tm_min != check.tm_min || local.tm_sec != check.tm_sec) {
        return false;
    }
    seconds = static_cast<int64_t>(t);
    return true;
}

}  // namespace platform
