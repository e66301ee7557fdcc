#include "engine/Executor.h"

#include "engine/CopyBatch.h"
#include "engine/DirScanner.h"
#include "engine/FileOps.h"
#include "engine/Progress.h"
#include "engine/RunHost.h"
#include "engine/WorkListBuilder.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Sync.h"
#include "res/Strings.h"
#include "support/PathUtil.h"

#include <algorithm>
#include <cerrno>

namespace {

// Enables the main window again however the run ends, an unexpected exception included.
class CEnableOnExit final {
  public:
    explicit CEnableOnExit(IRunHost& host) : m_host(host) { m_host.EnableMainWindow(false); }
    ~CEnableOnExit() { m_host.EnableMainWindow(true); }
    CEnableOnExit(const CEnableOnExit&) = delete;
    CEnableOnExit& operator=(const CEnableOnExit&) = delete;

  private:
    IRunHost& m_host;
};

// The folders of one tree that a run has found to hold no link between the root and the file.
struct CheckedFolders {
    std::string source;
    std::string dest;
};

// What every item of a run shares: the roots, how times compare, what the media keep.
struct RunTrees {
    const std::string& sourceDir;
    const std::string& destDir;
    uint64_t timeResolution;
    bool sourceKeepsModes;
    bool destKeepsModes;
    CheckedFolders checked;
};

// True when no folder between root and the file relative names (the root itself excluded) is a symbolic
// link. The scan never enters a link, so a copy must not pass through one either: a link planted in a
// tree (and hidden from the scan by the ignore list) would otherwise lead it to a file outside both
// trees. Sets ELOOP when it finds one. Missing folders pass (the copy creates them); checked holds the
// last folder found clean, since consecutive items mostly share theirs.
bool FoldersStayInTree(const std::string& root, std::string_view relative, std::string& checked) {
    const size_t last = relative.rfind('/');
    if (last == std::string::npos ||
        (checked.size() == last + 1 && relative.compare(0, last + 1, checked) == 0)) {
        return true;
    }
    platform::FileInfo info;
    for (size_t slash = relative.find('/'); slash != std::string::npos && slash <= last;
         slash = relative.find('/', slash + 1)) {
        if (!platform::StatPath(std::string(root).append(relative.substr(0, slash)), info, false)) {
            return true;  // missing or unreadable: the copy itself creates it or reports why
        }
        if (info.kind == platform::EntryKind::Link) {
            platform::SetLastError(ELOOP);
            return false;
        }
    }
    checked.assign(relative, 0, last + 1);
    return true;
}

// True when the item must clear its source's archive bit. A source that the scan found already marked
// as backed up, and that this item did not copy, needs no second look: in a run where nothing changed
// this is every file.
bool ClearsArchive(const WorkItem& item, bool copied) {
    return (item.m_nFlags & WorkClearArchive) && (copied || item.m_source.m_nArchive != 0);
}

// Clears the source's archive bit when the item asks for it. Returns the message that stops the run, or "".
std::string ClearArchive(const WorkItem& item, const std::string& sourcePath, bool copied) {
    return ClearsArchive(item, copied) ? ClearArchiveBit(sourcePath) : std::string();
}

// Carries out one item. Returns the message that stops the run, or "" when the item is done.
std::string ExecuteItem(const WorkItem& item, RunTrees& trees, const std::string& sourcePath,
                        const std::string& destPath) {
    const auto staysInTrees = [&] {
        return FoldersStayInTree(trees.sourceDir, item.m_source.m_strName, trees.checked.source) &&
               FoldersStayInTree(trees.destDir, item.m_dest.m_strName, trees.checked.dest);
    };
    if (item.m_nFlags & WorkUnknown) {
        return res::kUnknownOperation + sourcePath + res::kSourceTag + " ? " + destPath +
               res::kDestinationTag;
    }
    if (item.m_nFlags & WorkSynchronize) {
        if ((item.m_nFlags & WorkBySyncRule) && CompareTimes(item, trees.timeResolution) == 2) {
            return destPath + res::kDestinationTagTypo + res::kIsOlderThan + sourcePath + res::kSourceTag;
        }
        if (!staysInTrees() ||
            !CopyFileWithPath(destPath, sourcePath, (item.m_nFlags & WorkDestReadOnly) != 0,
                              trees.destKeepsModes)) {
            return CopyProblem(destPath, sourcePath);
        }
    }
    if (item.m_nFlags & (WorkBackup | WorkCreate)) {
        if ((item.m_nFlags & WorkByBackupRule) && CompareTimes(item, trees.timeResolution) == 1) {
            return sourcePath + res::kSourceTag + res::kIsOlderThan + destPath + res::kDestinationTagTypo;
        }
        if (!staysInTrees() ||
            !CopyFileWithPath(sourcePath, destPath, (item.m_nFlags & WorkSourceReadOnly) != 0,
                              trees.sourceKeepsModes)) {
            return CopyProblem(sourcePath, destPath);
        }
    }
    return ClearArchive(item, sourcePath, (item.m_nFlags & (WorkSynchronize | WorkBackup | WorkCreate)) != 0);
}

enum class Batched {
    Added,   // written ahead and queued
    Alone,   // to be carried out on its own, after the batch
    Failed,  // the copy could not be written: the last error says why
};

// Writes the copy of a plain one-way item ahead into batch, or queues the archive bit of an item without
// a copy. Anything else is carried out on its own, after the batch, exactly as without one: an undecided
// item, one with two copies, a read-only target to lift, a copy the time rule refuses, a path through a
// link.
Batched AddToBatch(CCopyBatch& batch, const WorkItem& item, RunTrees& trees, const std::string& sourcePath,
                   const std::string& destPath) {
    const int32_t flags = item.m_nFlags;
    const bool toSource = (flags & WorkSynchronize) != 0;
    const bool toDest = (flags & (WorkBackup | WorkCreate)) != 0;
    if ((flags & WorkUnknown) || (toSource && toDest)) {
        return Batched::Alone;
    }
    if (!toSource && !toDest) {
        // Most items of most runs: nothing to copy, at most an archive bit to clear.
        if (ClearsArchive(item, false)) {
            batch.Add(nullptr, {}, {}, sourcePath);
        }
        return Batched::Added;
    }
    const int times = CompareTimes(item, trees.timeResolution);
    if (toSource && ((flags & WorkDestReadOnly) || ((flags & WorkBySyncRule) && times == 2))) {
        return Batched::Alone;
    }
    if (toDest && ((flags & WorkSourceReadOnly) || ((flags & WorkByBackupRule) && times == 1))) {
        return Batched::Alone;
    }
    if (!FoldersStayInTree(trees.sourceDir, item.m_source.m_strName, trees.checked.source) ||
        !FoldersStayInTree(trees.destDir, item.m_dest.m_strName, trees.checked.dest)) {
        return Batched::Alone;
    }
    const std::string& from = toSource ? destPath : sourcePath;
    const std::string& to = toSource ? sourcePath : destPath;
    std::unique_ptr<platform::CPreparedCopy> copy =
        platform::CPreparedCopy::Prepare(from, to, toSource ? trees.destKeepsModes : trees.sourceKeepsModes);
    if (!copy) {
        return Batched::Failed;
    }
    batch.Add(std::move(copy), from, to, ClearsArchive(item, true) ? sourcePath : std::string());
    return Batched::Added;
}

// Finishes an item whose copy failed when it was written ahead, as the item alone would have: a missing
// folder is created and the copy tried again, anything else stops the run.
std::string FinishFailedCopy(const WorkItem& item, const RunTrees& trees, const std::string& sourcePath,
                             const std::string& destPath, int err) {
    const bool toSource = (item.m_nFlags & WorkSynchronize) != 0;
    const std::string& from = toSource ? destPath : sourcePath;
    const std::string& to = toSource ? sourcePath : destPath;
    platform::SetLastError(err);
    if (!CopyIntoNewFolder(from, to, toSource ? trees.destKeepsModes : trees.sourceKeepsModes)) {
        return CopyProblem(from, to);
    }
    return ClearArchive(item, sourcePath, true);
}

}  // namespace

std::string GetRunTitle(int mode) {
    switch (mode) {
        case RunBackup:
            return res::kTitleBackup;
        case RunSynchronize:
            return res::kTitleSynchronize;
        case RunCheckIn:
            return res::kTitleCheckIn;
        case RunCheckOut:
            return res::kTitleCheckOut;
        default:
            return res::kTitleDefault;
    }
}

int ExecuteWorkList(IRunHost& host, std::string& sourceDir, std::string& destDir,
                    const CWorkListBuilder& builder, int mode) {
    MakeAbsoluteFolder(destDir);
    MakeAbsoluteFolder(sourceDir);
    IProgress* const progress = host.Progress();
    if (progress) {
        progress->SetCaption(GetRunTitle(mode));
    }
    CEnableOnExit enableOnExit(host);

    const WorkList& items = builder.m_items;
    const int count = static_cast<int>(items.size());
    if (progress) {
        progress->SetRange(0, count - 1);
    }
    std::string sourcePath;
    std::string destPath;
    RunTrees trees{sourceDir,
                   destDir,
                   builder.m_nTimeResolution,
                   builder.m_pSource->m_medium.keepsModes,
                   builder.m_pDest->m_medium.keepsModes,
                   {}};
    CCopyBatch batch;
    // Two names that one tree can keep only as one file: the run copies nothing at all.
    std::string problem = builder.CaseClash();
    for (int i = 0; i < count && problem.empty(); ++i) {
        const WorkItem& item = items[static_cast<size_t>(i)];
        sourcePath.assign(sourceDir).append(item.m_source.m_strName);
        destPath.assign(destDir).append(item.m_dest.m_strName);
        if (progress) {
            progress->SetPos(i);
            progress->SetStatus(sourcePath);
        }
        if (batch.Full() && !(problem = batch.Next()).empty()) {
            break;
        }
        const Batched batched = AddToBatch(batch, item, trees, sourcePath, destPath);
        if (batched == Batched::Added) {
            continue;
        }
        const int err = platform::LastError();
        // Every earlier item is complete before this one starts.
        problem = batch.Complete();
        // Out of open files, the copy gets its chance alone, now that the batch has closed its files.
        const bool alone = batched == Batched::Alone || err == EMFILE || err == ENFILE;
        if (problem.empty()) {
            problem = alone ? ExecuteItem(item, trees, sourcePath, destPath)
                            : FinishFailedCopy(item, trees, sourcePath, destPath, err);
        }
    }
    if (problem.empty()) {
        problem = batch.Complete();
    }
    if (!problem.empty()) {
        host.Report(problem, 0, 0);
    }
    return 0;
}

std::vector<std::string> FoldersToFlush(const CWorkListBuilder& builder, int mode) {
    std::vector<std::string> folders;
    std::vector<uint64_t> systems;
    const auto add = [&](std::string folder) {
        uint64_t id = 0;
        while (!platform::FileSystemOf(folder, id)) {
            const size_t slash = folder.size() > 1 ? folder.rfind('/', folder.size() - 2) : std::string::npos;
            if (slash == std::string::npos) {
                return;  // nothing of it exists: the copy will report why
            }
            folder.resize(slash + 1);
        }
        if (std::find(systems.begin(), systems.end(), id) == systems.end()) {
            systems.push_back(id);
            folders.push_back(std::move(folder));
        }
    };
    const std::string& sourceRoot = builder.m_pSource->m_strRoot;
    const std::string& destRoot = builder.m_pDest->m_strRoot;
    add(destRoot);
    if (mode != RunBackup) {
        add(sourceRoot);
    }
    // Consecutive items mostly share their folder: each is looked at once.
    std::string lastSource;
    std::string lastDest;
    const auto addFolderOf = [&](const std::string& root, const FileName& name, std::string& last) {
        const size_t slash = name.View().rfind('/');
        if (slash == std::string_view::npos) {
            return;  // the root itself, added already
        }
        std::string folder = root + std::string(name.View().substr(0, slash + 1));
        if (folder != last) {
            last = folder;
            add(std::move(folder));
        }
    };
    for (const WorkItem& item : builder.m_items) {
        if (item.m_nFlags & WorkUnknown) {
            continue;  // the run stops before it copies anything of it
        }
        if (item.m_nFlags & WorkSynchronize) {
            addFolderOf(sourceRoot, item.m_source.m_strName, lastSource);
        }
        if (item.m_nFlags & (WorkBackup | WorkCreate)) {
            addFolderOf(destRoot, item.m_dest.m_strName, lastDest);
        }
    }
    return folders;
}
