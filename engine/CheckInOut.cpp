// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CheckInOut.h"

#include "engine/FileOps.h"
#include "engine/KeptVersions.h"
#include "engine/RunHost.h"
#include "engine/WorkList.h"
#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/Medium.h"
#include "res/Strings.h"
#include "support/DepthFirst.h"
#include "support/PathUtil.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace {

// Walks the tree below root; path is root's path in normal form.
void WalkFolder(std::unique_ptr<platform::CFolder> root, std::string& path, const WalkVisitor& visitor) {
    struct Level {
        // Open only while a subfolder is still to be opened through it: a handle per level of a deep
        // tree would run out of open files.
        std::unique_ptr<platform::CFolder> folder;
        std::vector<platform::DirEntry> entries;  // its subfolders
        size_t next = 0;                          // the first not yet entered
        size_t pathLength = 0;                    // the length of its path, which ends in "/"
    };
    WalkEntry visit;
    const auto enter = [&](std::unique_ptr<platform::CFolder> folder) -> std::optional<Level> {
        Level level;
        if (!folder->ReadEntries(level.entries)) {
            return std::nullopt;
        }
        // A folder's files first, while its handle is open: a visitor that changes a file reaches it
        // through the handle, never through a link put in place of a folder on the way.
        for (const platform::DirEntry& e : level.entries) {
            if (e.kind != platform::EntryKind::File) {
                continue;
            }
            visit.m_strName = e.name;
            visit.m_strFullPath.assign(path).append(e.name);
            visit.m_pFolder = folder.get();
            visit.m_bFolder = false;
            visitor(visit);
        }
        visit.m_pFolder = nullptr;
        // Links are never followed nor locked; special files are not files to lock.
        level.entries.erase(std::remove_if(level.entries.begin(), level.entries.end(),
                                           [](const platform::DirEntry& e) {
                                               // Kept versions keep the modes they had: the lock is no
                                               // business of theirs.
                                               return e.kind != platform::EntryKind::Folder ||
                                                      e.name == kVersionsFolder;
                                           }),
                            level.entries.end());
        if (!level.entries.empty()) {
            level.folder = std::move(folder);
        }
        level.pathLength = path.size();
        return level;
    };
    WalkDepthFirst(enter(std::move(root)), [&](Level& level, size_t) -> std::optional<Level> {
        while (level.next < level.entries.size()) {
            path.resize(level.pathLength);
            const platform::DirEntry& e = level.entries[level.next++];
            path.append(e.name);
            visit.m_strName = e.name;
            visit.m_strFullPath.swap(path);  // lent, not copied: in a deep tree paths are long
            visit.m_bFolder = true;
            visitor(visit);
            visit.m_strFullPath.swap(path);
            // A folder that may be listed but not entered opens all the same: skip it as well.
            std::unique_ptr<platform::CFolder> child;
            platform::FileInfo info;
            if (level.folder->Stat(e.name, info, false) && info.kind == platform::EntryKind::Folder &&
                info.readable) {
                child = level.folder->OpenChild(e.name);
            }
            if (level.next == level.entries.size()) {
                level.folder.reset();
            }
            if (child) {
                path.push_back('/');
                if (std::optional<Level> entered = enter(std::move(child))) {
                    return entered;
                }
            }
        }
        return std::nullopt;
    });
}

void WalkWithOp(CCheckInOutState& state, int op, const std::string& folder) {
    state.m_nCheckOp = op;
    WalkFiles(folder, [&state](const WalkEntry& entry) { CheckInOutVisitor(entry, state); });
}

}  // namespace

void WalkFiles(const std::string& folder, const WalkVisitor& visitor) {
    std::string path = folder;
    NormalizeFolder(path);
    // As for subfolders: one that may be listed but not entered does not count as entered.
    platform::FileInfo info;
    if (platform::StatPath(path, info, false) && info.kind == platform::EntryKind::Folder && info.readable) {
        if (std::unique_ptr<platform::CFolder> root = platform::CFolder::Open(path)) {
            WalkFolder(std::move(root), path, visitor);
        }
    }
}

void CheckInOutVisitor(const WalkEntry& entry, CCheckInOutState& state) {
    if (entry.m_bFolder) {
        return;
    }
    // Through the walk's open folder where it offers one: a link swapped in on the way is never followed.
    const auto change = [&entry](int mode) {
        return entry.m_pFolder
                   ? ChangeAttributes(*entry.m_pFolder, entry.m_strName, platform::kAttrReadOnly, mode)
                   : ChangeAttributes(entry.m_strFullPath, platform::kAttrReadOnly, mode);
    };
    switch (state.m_nCheckOp) {
        case CheckOpSetReadOnly:
            change(AttrAdd);
            break;
        case CheckOpClearReadOnly:
            change(AttrRemove);
            break;
        case CheckOpTestAll:
            if (change(AttrTest) == 0) {
                state.m_bAllReadOnly = 0;
            }
            break;
        case CheckOpTestNone:
            if (change(AttrTest) == 1) {
                state.m_bNoneReadOnly = 0;
            }
            break;
        default:
            break;
    }
}

bool IsAllReadOnly(CCheckInOutState& state, const std::string& folder) {
    state.m_bAllReadOnly = 1;
    WalkWithOp(state, CheckOpTestAll, folder);
    return state.m_bAllReadOnly != 0;
}

bool IsNoneReadOnly(CCheckInOutState& state, const std::string& folder) {
    state.m_bNoneReadOnly = 1;
    WalkWithOp(state, CheckOpTestNone, folder);
    return state.m_bNoneReadOnly != 0;
}

bool CheckInOutGuard(int mode, const std::string& sourceDir, const std::string& destDir,
                     CCheckInOutState& state, IRunHost& host) {
    if (mode != RunCheckOut && mode != RunCheckIn) {
        return true;
    }
    // The lock is the files' read-only state: a tree on a medium that cannot keep it would stay unlocked.
    for (const std::string* folder : {&sourceDir, &destDir}) {
        if (!platform::LearnMedium(*folder).keepsReadOnly) {
            host.Report(*folder + res::kNoReadOnly, kMbIconHand, 0);
            return false;
        }
    }
    if (mode == RunCheckOut) {
        if (!(IsNoneReadOnly(state, destDir) && IsAllReadOnly(state, sourceDir))) {
            host.Report(res::kAlreadyCheckedOut, kMbIconHand, 0);
            return false;
        }
    } else if (mode == RunCheckIn) {
        if (!(IsAllReadOnly(state, destDir) && IsNoneReadOnly(state, sourceDir))) {
            host.Report(res::kAlreadyCheckedIn, kMbIconHand, 0);
            return false;
        }
    }
    return true;
}

void LockTrees(const std::string& sourceDir, const std::string& destDir, CCheckInOutState& state) {
    WalkWithOp(state, CheckOpSetReadOnly, destDir);
    WalkWithOp(state, CheckOpSetReadOnly, sourceDir);
}

void UnlockTrees(int mode, bool confirmed, const std::string& sourceDir, const std::string& destDir,
                 CCheckInOutState& state) {
    if (mode == RunCheckOut) {
        WalkWithOp(state, CheckOpClearReadOnly, confirmed ? sourceDir : destDir);
    } else if (mode == RunCheckIn) {
        WalkWithOp(state, CheckOpClearReadOnly, confirmed ? destDir : sourceDir);
    }
}
