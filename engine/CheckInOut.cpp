#include "engine/CheckInOut.h"

#include "engine/FileOps.h"
#include "engine/RunHost.h"
#include "engine/WorkList.h"
#include "platform/FileSystem.h"
#include "platform/Medium.h"
#include "platform/MessageBox.h"
#include "res/Strings.h"
#include "support/PathUtil.h"

#include <memory>
#include <vector>

namespace {

// The filter of every check-in/check-out walk: all files.
const std::string kAllFiles = ".";

struct WalkSettings {
    const WalkVisitor& visitor;
    const std::string& filter;
    bool visitFolders;
    bool allFiles;
};

void WalkFolder(const platform::CFolder& folder, std::string& path, const WalkSettings& walk) {
    std::vector<platform::DirEntry> entries;
    if (!folder.ReadEntries(entries)) {
        return;
    }
    WalkEntry visit;
    const size_t pathLength = path.size();
    for (const platform::DirEntry& e : entries) {
        if (e.kind == platform::EntryKind::Folder) {
            path.append(e.name);
            if (walk.visitFolders) {
                visit.m_strName = e.name;
                visit.m_strFullPath = path;
                visit.m_bFolder = true;
                walk.visitor(visit);
            }
            // A folder that may be listed but not entered opens all the same: skip it as well.
            platform::FileInfo info;
            if (folder.Stat(e.name, info, false) && info.kind == platform::EntryKind::Folder &&
                info.readable) {
                if (std::unique_ptr<platform::CFolder> child = folder.OpenChild(e.name)) {
                    path.push_back('/');
                    WalkFolder(*child, path, walk);
                }
            }
            path.resize(pathLength);
        } else if (e.kind == platform::EntryKind::File) {
            if (!walk.allFiles && walk.filter.find(GetExtension(e.name)) == std::string::npos) {
                continue;
            }
            visit.m_strName = e.name;
            visit.m_strFullPath.assign(path).append(e.name);
            visit.m_bFolder = false;
            walk.visitor(visit);
        }
        // Links are never followed nor locked; special files are not files to lock.
    }
}

}  // namespace

int WalkFiles(const std::string& folder, const WalkVisitor& visitor, const std::string& filter) {
    std::string path = folder;
    NormalizeFolder(path);
    // As for subfolders: one that may be listed but not entered does not count as entered.
    platform::FileInfo info;
    std::unique_ptr<platform::CFolder> root;
    if (platform::StatPath(path, info, false) && info.kind == platform::EntryKind::Folder && info.readable) {
        root = platform::CFolder::Open(path);
    }
    if (!root) {
        return -1;
    }
    const WalkSettings walk{visitor, filter, filter.empty() || filter.find('.') != std::string::npos,
                            filter.empty() || filter == "."};
    WalkFolder(*root, path, walk);
    return 0;
}

int CheckInOutVisitor(const WalkEntry& entry, CCheckInOutState& state) {
    if (entry.m_bFolder) {
        return 1;
    }
    switch (state.m_nCheckOp) {
        case CheckOpSetReadOnly:
            ChangeAttributes(entry.m_strFullPath, platform::kAttrReadOnly, AttrAdd);
            break;
        case CheckOpClearReadOnly:
            ChangeAttributes(entry.m_strFullPath, platform::kAttrReadOnly, AttrRemove);
            break;
        case CheckOpTestAll:
            if (ChangeAttributes(entry.m_strFullPath, platform::kAttrReadOnly, AttrTest) == 0) {
                state.m_bAllReadOnly = 0;
            }
            break;
        case CheckOpTestNone:
            if (ChangeAttributes(entry.m_strFullPath, platform::kAttrReadOnly, AttrTest) == 1) {
                state.m_bNoneReadOnly = 0;
            }
            break;
        default:
            break;
    }
    return 1;
}

namespace {

void WalkWithOp(CCheckInOutState& state, int op, const std::string& folder) {
    state.m_nCheckOp = op;
    WalkFiles(
        folder, [&state](const WalkEntry& entry) { return CheckInOutVisitor(entry, state); }, kAllFiles);
}

}  // namespace

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
            host.Report(*folder + res::kNoReadOnly, platform::kMbIconHand, 0);
            return false;
        }
    }
    if (mode == RunCheckOut) {
        if (!(IsNoneReadOnly(state, destDir) && IsAllReadOnly(state, sourceDir))) {
            host.Report(res::kAlreadyCheckedOut, platform::kMbIconHand, 0);
            return false;
        }
    } else if (mode == RunCheckIn) {
        if (!(IsAllReadOnly(state, destDir) && IsNoneReadOnly(state, sourceDir))) {
            host.Report(res::kAlreadyCheckedIn, platform::kMbIconHand, 0);
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
