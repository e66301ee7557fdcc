// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Check-in and check-out: the read-only bit of every file is the lock that says which tree is the one
// to work in. A folder walk with a visitor, the tests and the runner's steps for run modes 3 and 4.
// Runs on the run's thread. Walks go by handle: the current directory never changes.

#include <functional>
#include <string>

class IRunHost;
namespace platform {
class CFolder;
}  // namespace platform

// One entry met by WalkFiles.
struct WalkEntry {
    std::string m_strName;      // the entry's own name
    std::string m_strFullPath;  // the walked folder (in normal form) + relative path
    bool m_bFolder = false;
    // The walk's open folder that holds a file, valid during the visit: what a visitor that changes the
    // file uses, with m_strName. Null for folders.
    const platform::CFolder* m_pFolder = nullptr;
};

// Gets each entry.
using WalkVisitor = std::function<void(const WalkEntry&)>;

// Walks folder depth first and calls visitor for every file and folder. A folder's files come first (in
// listing order, while the folder is held open), then its subfolders in listing order, each passed before
// its contents. Symbolic links, special files and folders that cannot be entered are skipped; so is
// folder itself (nothing is visited).
void WalkFiles(const std::string& folder, const WalkVisitor& visitor);

enum CheckOp : int {
    CheckOpSetReadOnly = 0,
    CheckOpClearReadOnly = 1,
    CheckOpTestAll = 2,
    CheckOpTestNone = 3,
};

// What the visitor does and what the tests found; held by the main dialog.
struct CCheckInOutState {
    int m_nCheckOp = CheckOpTestAll;
    int m_bAllReadOnly = 1;   // no file seen so far lacks the read-only bit
    int m_bNoneReadOnly = 1;  // no file seen so far has it
};

// Acts on one file as state.m_nCheckOp says; folders are ignored; failures to change a bit are not
// reported (the file keeps its bit).
void CheckInOutVisitor(const WalkEntry& entry, CCheckInOutState& state);

// True when no file under folder lacks (IsAllReadOnly) or has (IsNoneReadOnly) the read-only bit; a
// missing folder or one without files passes. Both walk the whole tree.
bool IsAllReadOnly(CCheckInOutState& state, const std::string& folder);
bool IsNoneReadOnly(CCheckInOutState& state, const std::string& folder);

// Before a check-out (mode 4) the trees must be checked in, before a check-in (mode 3) checked out.
// When they are not, reports "Already checked out!" / "Already checked in!" with a stop icon and
// returns false; nothing on disk changes. A folder on a medium that cannot keep files read-only (NTFS
// and exFAT through FUSE, for instance) is refused first, with its path and why. Other modes pass.
[[nodiscard]] bool CheckInOutGuard(int mode, const std::string& sourceDir, const std::string& destDir,
                                   CCheckInOutState& state, IRunHost& host);

// Makes every file of the destination tree, then of the source tree, read-only.
void LockTrees(const std::string& sourceDir, const std::string& destDir, CCheckInOutState& state);

// Unlocks one tree after the run. Confirmed: a check-out unlocks the source, a check-in the destination.
// Not confirmed (cancelled, or ended by an error): the tree that was writable before the run, that is
// the destination after a check-out and the source after a check-in. Other modes change nothing.
void UnlockTrees(int mode, bool confirmed, const std::string& sourceDir, const std::string& destDir,
                 CCheckInOutState& state);
