// SPDX-License-Identifier: GPL-3.0-or-later
// Learning what a tree's file system keeps. The Linux file systems keep everything and are known by
// their type; the rest (FAT, exFAT, NTFS and sshfs through FUSE, SMB) differ by driver and mount options,
// so a small file in the tree's root tells the truth better than any table.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Medium.h"
#include "platform/Folder.h"
#include "platform/HeldRoots.h"
#include "platform/PosixUtil.h"

namespace platform {

using detail::CFd;
using detail::RetryEintr;

namespace {

constexpr uint64_t kFatResolution = 2 * kWriteTimeUnitsPerSecond;

// Superblock magic numbers (linux/magic.h; not every one is in the headers of older systems).
enum : unsigned long {
    kExt4 = 0xEF53,
    kXfs = 0x58465342,
    kBtrfs = 0x9123683E,
    kTmpfs = 0x01021994,
    kRamfs = 0x858458F6,
    kF2fs = 0xF2F52010,
    kOverlay = 0x794C7630,
    kZfs = 0x2FC12FC1,
    kMsdos = 0x4D44,
    kExfat = 0x2011BAB0,
    kNtfs3 = 0x7366746E,
    kNtfs = 0x5346544E,
    kCifs = 0xFF534D42,
    kSmb2 = 0xFE534D42,
    kFuse = detail::kFuseMagic,
};

bool KeepsEverything(unsigned long type) {
    switch (type) {
        case kExt4:
        case kXfs:
        case kBtrfs:
        case kTmpfs:
        case kRamfs:
        case kF2fs:
        case kOverlay:
        case kZfs:
            return true;
        default:
            return false;
    }
}

// The FUSE driver's name of the mount that holds dev ("fuse.sshfs", "fuseblk"), from mountinfo.
std::string FuseType(dev_t dev) {
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, devNumbers, field;
        fields >> id >> parent >> devNumbers;
        if (devNumbers != wanted) {
            continue;
        }
        while (fields >> field && field != "-") {
        }
        fields >> field;
        return field;
    }
    return std::string();
}

Medium FatMedium(uint64_t resolution) {
    Medium medium;
    medium.timeResolution = resolution;
    medium.ignoresCase = true;
    medium.keepsModes = false;
    return medium;
}

// What the type implies, for a root that cannot be probed.
Medium MediumOfType(unsigned long type, dev_t dev) {
    Medium medium;
    switch (type) {
        case kMsdos:
            return FatMedium(kFatResolution);
        case kExfat:
            return FatMedium(kWriteTimeUnitsPerSecond / 100);
        case kNtfs3:
        case kNtfs:
            medium.keepsModes = false;
            medium.keepsReadOnly = false;
            return medium;
        case kCifs:
        case kSmb2:
            // Served mostly by Windows and macOS, which match names ignoring case.
            medium.ignoresCase = true;
            medium.keepsModes = false;
            return medium;
        case kFuse: {
            const std::string driver = FuseType(dev);
            if (driver.find("sshfs") != std::string::npos) {
                medium.timeResolution = kWriteTimeUnitsPerSecond;
            } else if (driver.find("fat") != std::string::npos) {
                medium = FatMedium(driver.find("exfat") != std::string::npos ? kWriteTimeUnitsPerSecond
                                                                             : kFatResolution);
                medium.keepsReadOnly = false;
            } else if (driver.find("ntfs") != std::string::npos) {
                medium.keepsModes = false;
                medium.keepsReadOnly = false;
            }
            return medium;
        }
        default:
            return medium;
    }
}

// ext4, f2fs and tmpfs can match names ignoring case in folders marked for it.
bool FolderIgnoresCase(int dirFd) {
    constexpr int kCasefoldFlag = 0x40000000;  // FS_CASEFOLD_FL, missing from older headers
    CFd folder(RetryEintr([&] { return openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    int flags = 0;
    return folder.Valid() && ioctl(folder.Get(), FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & kCasefoldFlag) != 0;
}

// The finest step of this ladder that is coarser than the difference between a time set and read back.
uint64_t ResolutionOf(uint64_t difference) {
    for (const uint64_t step :
         {uint64_t{1}, uint64_t{10}, uint64_t{10000}, uint64_t{100000}, kWriteTimeUnitsPerSecond}) {
        if (difference < step) {
            return step;
        }
    }
    return kFatResolution;
}

// Swaps the letter case of the random part of a temporary name; empty when it holds no letter.
std::string OtherCase(const std::string& name) {
    constexpr size_t kPrefix = sizeof ".tandrel-" - 1;
    std::string other = name;
    bool changed = false;
    for (size_t i = kPrefix; i < kPrefix + 6 && i < other.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(other[i]);
        if (std::isalpha(c)) {
            other[i] = static_cast<char>(std::islower(c) ? std::toupper(c) : std::tolower(c));
            changed = true;
        }
    }
    return changed ? other : std::string();
}

bool ModeIs(int fd, mode_t mode) {
    struct stat st;
    return fstat(fd, &st) == 0 && (st.st_mode & 07777) == mode;
}

// Probes the folder dirFd with a file of its own; false (medium untouched) when no file can be made.
bool ProbeWithOwnFile(int dirFd, Medium& medium) {
    std::string name;
    std::string other;
    for (int attempt = 0; other.empty() && attempt < 100; ++attempt) {
        name = detail::TempName();
        other = OtherCase(name);
    }
    CFd file(RetryEintr([&] {
        return openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }));
    if (!file.Valid()) {
        return false;
    }
    const detail::CTempName remove(dirFd, name);

    // Odd seconds and an odd count of nanoseconds: FAT's 2 s, whole seconds and 10 ms all show.
    const struct timespec set = {1600000001, 123456789};
    const struct timespec times[2] = {set, set};
    struct stat st;
    if (futimens(file.Get(), times) == 0 && fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        const uint64_t wanted = WriteTimeFromUnix(set.tv_sec, set.tv_nsec);
        const uint64_t got = WriteTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        const uint64_t difference = wanted > got ? wanted - got : got - wanted;
        medium.timeResolution = ResolutionOf(difference);
        // Off by more than FAT's step: no step explains it, the driver's clock is wrong.
        if (difference >= kFatResolution) {
            // To the minute, as time zones differ; the odd second set may have been rounded to FAT's step.
            const int64_t seconds = static_cast<int64_t>(st.st_mtim.tv_sec) - set.tv_sec;
            const int64_t minutes = (seconds + (seconds < 0 ? -30 : 30)) / 60 * 60;
            medium.clockOffset = minutes != 0 ? minutes : seconds;
        }
    }
    medium.ignoresCase = !other.empty() && fstatat(dirFd, other.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    // Drivers without permission bits refuse the change (ENOSYS, EPERM) or accept it and keep 0777.
    medium.keepsModes = fchmod(file.Get(), 0640) == 0 && ModeIs(file.Get(), 0640);
    if (fstat(file.Get(), &st) == 0) {
        const mode_t readOnly = st.st_mode & 07777 & ~0222u;
        medium.keepsReadOnly = fchmod(file.Get(), readOnly) == 0 && ModeIs(file.Get(), readOnly);
        (void)fchmod(file.Get(), st.st_mode & 07777);  // some media refuse to remove a read-only file
    }
    return true;
}

// Which letters a medium that ignores case makes one.
CaseRule CaseRuleOf(unsigned long type, dev_t dev, const Medium& medium) {
    switch (type) {
        case kExfat:
            return CaseRule::ExFat;
        case kNtfs3:
        case kNtfs:
            return CaseRule::Ntfs;
        case kFuse: {
            const std::string driver = FuseType(dev);
            if (driver.find("exfat") != std::string::npos) {
                return CaseRule::ExFat;
            }
            if (driver.find("fat") != std::string::npos) {
                return CaseRule::Ascii;
            }
            if (driver.find("ntfs") != std::string::npos) {
                return CaseRule::Ntfs;
            }
            // exfat-fuse and ntfs-3g on a block device show as "fuseblk", lowntfs-3g on an image as "fuse":
            // of the two, only NTFS keeps times to 100 ns.
            if (driver == "fuseblk" || driver == "fuse") {
                return medium.timeResolution == 1 ? CaseRule::Ntfs : CaseRule::ExFat;
            }
            return CaseRule::Any;
        }
        default:
            return CaseRule::Any;  // vfat by its iocharset, SMB by its server, ext4's case folding
    }
}

Medium LearnMediumOf(int folder) {
    struct statfs fs;
    struct stat st;
    if (fstatfs(folder, &fs) != 0 || fstat(folder, &st) != 0) {
        return Medium();  // the scan reports a root it cannot enter
    }
    const unsigned long type = static_cast<unsigned long>(fs.f_type);
    Medium medium = MediumOfType(type, st.st_dev);
    if (KeepsEverything(type) && !MediumProbeForced()) {
        medium.ignoresCase = FolderIgnoresCase(folder);
    } else if (!ProbeWithOwnFile(folder, medium)) {
        // Read-only: FAT, NTFS and sshfs are known by name; a plain FUSE name may be exFAT or NTFS.
        const std::string driver = type == kFuse ? FuseType(st.st_dev) : std::string();
        medium.modesUnprobed = driver == "fuseblk" || driver == "fuse";
    }
    if (medium.ignoresCase) {
        medium.caseRule = CaseRuleOf(type, st.st_dev, medium);
    }
    return medium;
}

}  // namespace

Medium LearnMedium(const std::string& root) {
    CFd folder(detail::OpenFolderPath(root, O_PATH | O_DIRECTORY | O_CLOEXEC));
    return folder.Valid() ? LearnMediumOf(folder.Get()) : Medium();
}

Medium LearnMedium(const CFolder& top) {
    CFd folder(RetryEintr([&] { return openat(detail::FolderFd(top), ".", detail::kHandleFlags); }));
    return folder.Valid() ? LearnMediumOf(folder.Get()) : Medium();
}

unsigned NewFileMode() {
    // Read without changing it: umask() itself would change it for every thread for a moment.
    static const unsigned mask = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            unsigned value = 0;
            if (std::sscanf(line.c_str(), "Umask: %o", &value) == 1) {
                return value;
            }
        }
        return 022u;
    }();
    return 0666u & ~mask;
}

}  // namespace platform
