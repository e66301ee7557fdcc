// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the file system that holds a tree can keep: how fine its write times are, whether it tells names
// apart by letter case, and whether it stores permission bits. Sticks and shares (FAT, exFAT, NTFS,
// sshfs, SMB) keep less than the Linux file systems, and a run must know it before it compares or copies.
// Any thread.

#include <cstdint>
#include <string>

#include "support/CaseRule.h"

namespace platform {

class CFolder;

struct Medium {
    // Write times are kept to this many 100-ns units: 1 exactly, 10^7 whole seconds, 2 * 10^7 FAT's 2 s.
    uint64_t timeResolution = 1;
    bool ignoresCase = false;           // "Report.txt" and "report.txt" are one file
    CaseRule caseRule = CaseRule::Any;  // where it ignores case: which letters it makes one
    bool keepsModes = true;             // owners and permission bits are stored, not made up by the driver
    bool keepsReadOnly = true;          // a file can be made read-only and reads so afterwards
    // Neither the type nor a probe told whether modes are kept (a read-only mount of a driver not known
    // by name, "fuseblk"): the scan decides by whether its files' modes differ.
    bool modesUnprobed = false;
    // Seconds by which a write time set reads back later (earlier when negative), where that is more than
    // the step: a driver that converts times through the wrong time zone. 0 for a medium that is right.
    int64_t clockOffset = 0;
};

// The medium of the folder root. A file system known to keep everything (ext4, xfs, btrfs, tmpfs) is
// taken by its type; any other is probed with a hidden temporary file in root, given a write time and
// modes and read back, then removed. Where root cannot be written, the type decides: FAT 2 s, exFAT 10 ms,
// sshfs 1 s, SMB ignoring case; anything unknown counts as exact. Never fails.
// Which letters a medium that ignores case makes one goes by its driver: exFAT and NTFS by their tables,
// fusefat by ASCII; a block-device FUSE mount by its time step (100 ns NTFS, coarser exFAT); else Any.
Medium LearnMedium(const std::string& root);
// The same for a folder held open, the top of a file system met inside a tree.
Medium LearnMedium(const CFolder& top);

// The permission bits a new file gets from this process's umask (0666 less the umask).
unsigned NewFileMode();

}  // namespace platform
