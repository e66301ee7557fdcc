// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Versions.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/FaultSeam.h"
#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/PosixUtil.h"

namespace platform {

using detail::CFd;
using detail::Fail;
using detail::RetryEintr;

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

// Removes everything below the open folder dir, which lies at place.
bool RemoveBelow(int dir, const Place& place) {
    const int listFd = fcntl(dir, F_DUPFD_CLOEXEC, 0);
    DIR* listing = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!listing) {
        if (listFd >= 0) {
            close(listFd);
        }
        return Fail();
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(listing)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(listing);
    bool all = true;
    for (const std::string& name : names) {
        Place at;
        bool folder = false;
        if (!PlaceOf(dir, name.c_str(), at, folder)) {
            all = errno == ENOENT ? all : Fail();
            continue;
        }
        if (folder) {
            if (!(at == place)) {
                all = Fail(EXDEV);  // a mount point: not ours to empty
                continue;
            }
            CFd child(RetryEintr(
                [&] { return openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
            if (!child.Valid() || !RemoveBelow(child.Get(), place)) {
                all = child.Valid() ? false : Fail();
                continue;
            }
            child.Reset();
            if (unlinkat(dir, name.c_str(), AT_REMOVEDIR) != 0) {
                all = Fail();
            }
        } else if (unlinkat(dir, name.c_str(), 0) != 0 && errno != ENOENT) {
            all = Fail();
        }
    }
    return all;
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

bool RemoveFolderTree(const std::string& folder, const std::string& name) {
    CFd parent(
        RetryEintr([&] { return open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    if (!parent.Valid()) {
        return Fail();
    }
    Place top;
    Place at;
    bool isFolder = false;
    if (!PlaceOf(parent.Get(), "", top, isFolder)) {
        return Fail();
    }
    CFd dir(RetryEintr(
        [&] { return openat(parent.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    if (!dir.Valid() || !PlaceOf(dir.Get(), "", at, isFolder)) {
        return Fail();
    }
    if (!(at == top)) {
        return Fail(EXDEV);
    }
    if (!RemoveBelow(dir.Get(), top)) {
        return false;
    }
    dir.Reset();
    return unlinkat(parent.Get(), name.c_str(), AT_REMOVEDIR) == 0 || Fail();
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
