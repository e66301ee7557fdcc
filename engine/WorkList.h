// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One file name with both sides and the decision for it, the list of them, and the rules that decide.
// Plain values and pure functions; any thread.

#include <cstdint>
#include <vector>

#include "engine/FileEntry.h"

enum RunMode : int32_t {
    RunBackup = 1,
    RunSynchronize = 2,
    RunCheckIn = 3,
    RunCheckOut = 4,
};

enum WorkKind : int32_t {
    KindBoth = 1,      // under both roots
    KindNoSource = 2,  // only under the destination root
    KindNoDest = 3,    // only under the source root
};

enum WorkFlags : int32_t {
    WorkUnknown = 0x0001,         // undecided: the job list cannot be confirmed, the executor stops here
    WorkSame = 0x0002,            // equal write times: nothing to copy
    WorkBackup = 0x0004,          // copy source over destination
    WorkSynchronize = 0x0008,     // copy destination over (or to a missing) source
    WorkCreate = 0x0020,          // copy source to the missing destination
    WorkClearArchive = 0x0040,    // after the copy, clear the source's archive bit
    WorkSourceReadOnly = 0x1000,  // lift the target's read-only bit around the source-to-destination copy
    WorkDestReadOnly = 0x2000,    // the same around the destination-to-source copy
    WorkNotToSource = 0x4000,     // a per-folder settings file the destination would send: left where it is
};

// Both sides always carry the same relative name; a missing side keeps time 0 and attributes -1.
struct WorkItem {
    int32_t m_nKind = 0;
    int32_t m_nFlags = WorkUnknown;
    FileEntry m_source;
    FileEntry m_dest;
};

using WorkList = std::vector<WorkItem>;

// 0 when both recorded write times are equal, 1 when the destination's is later, 2 when the source's is.
// resolution: the coarser write-time step of the two trees' media, in 100-ns units. Times closer than
// that count as equal, since the coarser medium cannot hold the difference; 1 compares exactly.
int CompareTimes(const WorkItem& item, uint64_t resolution = 1);

// A per-folder settings file (any folder's "__TD.RVX") never travels from the destination into the
// source: one planted in a shared destination would name the destination of the source's next runs.
// Turns such a copy into WorkNotToSource.
void KeepFolderSettingsOutOfSource(WorkItem& item);

// Add the rule's bits to item.m_nFlags (the caller clears them first), comparing times as CompareTimes.
void BackupRule(WorkItem& item, uint64_t resolution = 1);
void SynchronizeRule(WorkItem& item, uint64_t resolution = 1);
