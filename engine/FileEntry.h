// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One scanned file and the list of one scanned tree: plain values, copied whole. Any thread.

#include <cstdint>
#include <vector>

#include "engine/FileName.h"

struct FileEntry {
    // Path relative to the scanned root, "/" between levels, no leading separator.
    FileName m_strName;
    // Last-write time in 100-ns units since 1601-01-01 UTC; 0 for a side where the file does not exist.
    uint64_t m_ftWrite = 0;
    // 1 read-only, 0 writable; -1 for a side where the file does not exist.
    int32_t m_nReadOnly = -1;
    // 32 (0x20) archived, 0 not; -1 for a side where the file does not exist.
    int32_t m_nArchive = -1;
};

// In scan order: depth first, each folder in the file system's listing order, never sorted.
using FileList = std::vector<FileEntry>;
