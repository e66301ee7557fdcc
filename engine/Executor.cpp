// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Executor.h"

#include "engine/CopyBatch.h"
#include "engine/DirScanner.h"
#include "engine/FileOps.h"
#include "engine/KeptVersions.h"
#include "engine/Progress.h"
#include "engine/RunHost.h"
#include "engine/TreeAccess.h"
#include "engine/WorkListBuilder.h"
#include "platform/FileSystem.h"
#include "platform/Error.h"
#include "platform/Folder.h"
#include "platform/Sync.h"
#include "res/Strings.h"
#include "support/PathUtil.h"

#include <algorithm>
#include <functional>
#include <future>
#include <optional>
#include <system_error>

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

// A new copy named with the provisional write time, to get its real one at the end of the run.
struct PendingCopy {
    int position;
    bool toSource;
    platform::PendingWriteTime time;
};

// What every item of a run shares: the two trees, how times compare, what the media keep.
struct RunTrees {
    CTreeAccess source;
    CTreeAccess dest;
    const CWorkListBuilder& builder;   // how times compare and what the media keep, per item
    std::vector<PendingCopy> pending;  // of the copies made one at a time
    CKeptVersions* versions;           // null unless replaced files are kept
};

// What the scan saw at the target of the item's copy in the direction given: the copy replaces only that.
platform::ScannedTarget ScannedAt(const WorkItem& item, bool toSource) {
    const FileEntry& target = toSource ? item.m_source : item.m_dest;
    return {target.m_nReadOnly != -1, target.m_ftWrite};
}

// True when the item must clear its source's archive bit. A source that the scan found already marked
// as backed up, and that this item did not copy, needs no second look: in a run where nothing changed
// this is every file.
bool ClearsArchive(const WorkItem& item, bool copied) {
    return (item.m_nFlags & WorkClearArchive) && (copied || item.m_source.m_nArchive != 0);
}

// The source file whose archive bit the item clears, or none; sets problem when it cannot be reached.
HeldFile ArchiveToClear(const WorkItem& item, RunTrees& trees, const std::string& sourcePath, bool copied,
                        std::string& problem) {
    if (!ClearsArchive(item, copied)) {
        return HeldFile();
    }
    HeldFile file = trees.source.Reach(item.m_source.m_strName, sourcePath, false);
    if (!file.folder) {
        problem = PathProblem(sourcePath);
    }
    return file;
}

// One copy of an item in the direction given, on its own: a missing target folder is made (only for a
// source that is still there) and the copy tried. Returns the message that stops the run, or "".
std::string CopyAlone(const WorkItem& item, int position, RunTrees& trees, bool toSource, bool liftReadOnly,
                      const std::string& sourcePath, const std::string& destPath) {
    CTreeAccess& fromTree = toSource ? trees.dest : trees.source;
    CTreeAccess& toTree = toSource ? trees.source : trees.dest;
    const FileName& fromName = toSource ? item.m_dest.m_strName : item.m_source.m_strName;
    const FileName& toName = toSource ? item.m_source.m_strName : item.m_dest.m_strName;
    const std::string& shownFrom = toSource ? destPath : sourcePath;
    const std::string& shownTo = toSource ? sourcePath : destPath;
    const HeldFile from = fromTree.Reach(fromName, shownFrom, false);
    HeldFile to;
    if (from.folder) {
        to = toTree.Reach(toName, shownTo, false);
        if (!to.folder && platform::LastError().Kind() == platform::ErrorKind::NotFound &&
            from.folder->Has(from.name)) {
            to = toTree.Reach(toName, shownTo, true);
            if (to.folder) {
                to.folder->TakeDefaultAcl(*from.folder);  // the folder just made, as its original
            }
        }
    }
    platform::PendingWriteTime time;
    const platform::ScannedTarget scanned = ScannedAt(item, toSource);
    const bool keepsModes = trees.builder.KeepsModes(item, toSource);
    if (trees.versions && from.folder && to.folder && to.folder->Has(to.name)) {
        std::string problem = trees.versions->CopyOver(from, {to, toSource, toName.Str()}, liftReadOnly,
                                                       keepsModes, &time, &scanned);
        if (!problem.empty()) {
            return problem;
        }
    } else if (!from.folder || !to.folder ||
               !CopyFileWithPath(from, to, liftReadOnly, keepsModes, &time, &scanned)) {
        return CopyProblem(shownFrom, shownTo);
    }
    if (time.pending) {
        trees.pending.push_back({position, toSource, time});
    }
    return std::string();
}

// Carries out one item. Returns the message that stops the run, or "" when the item is done.
std::string ExecuteItem(const WorkItem& item, int position, RunTrees& trees, const std::string& sourcePath,
                        const std::string& destPath) {
    if (item.m_nFlags & WorkUnknown) {
        return res::kUnknownOperation + sourcePath + res::kSourceTag + " ? " + destPath +
               res::kDestinationTag;
    }
    // The time rules were applied when the list was built: a copy here never goes against them.
    std::string problem;
    if (item.m_nFlags & WorkSynchronize) {
        problem = CopyAlone(item, position, trees, true, (item.m_nFlags & WorkDestReadOnly) != 0, sourcePath,
                            destPath);
    }
    if (problem.empty() && (item.m_nFlags & (WorkBackup | WorkCreate))) {
        problem = CopyAlone(item, position, trees, false, (item.m_nFlags & WorkSourceReadOnly) != 0,
                            sourcePath, destPath);
    }
    if (!problem.empty()) {
        return problem;
    }
    // Then the source's archive bit, when the item asks for it.
    const bool copied = (item.m_nFlags & (WorkSynchronize | WorkBackup | WorkCreate)) != 0;
    const HeldFile file = ArchiveToClear(item, trees, sourcePath, copied, problem);
    return file.folder ? ClearArchiveBit(file) : problem;
}

enum class Batched {
    Added,   // written ahead and queued
    Alone,   // to be carried out on its own, after the batch
    Failed,  // the copy could not be written: the last error says why
};

// Writes the copy of a plain one-way item ahead into batch, or queues the archive bit of an item without
// a copy. Anything else is carried out on its own, after the batch, exactly as without one: an undecided
// item, one with two copies, a read-only target to lift, a folder that is missing or a link.
Batched AddToBatch(CCopyBatch& batch, const WorkItem& item, int position, RunTrees& trees,
                   const std::string& sourcePath, const std::string& destPath) {
    const int32_t flags = item.m_nFlags;
    const bool toSource = (flags & WorkSynchronize) != 0;
    const bool toDest = (flags & (WorkBackup | WorkCreate)) != 0;
    if ((flags & WorkUnknown) || (toSource && toDest)) {
        return Batched::Alone;
    }
    std::string problem;
    if (!toSource && !toDest) {
        // Most items of most runs: nothing to copy, at most an archive bit to clear.
        HeldFile archive = ArchiveToClear(item, trees, sourcePath, false, problem);
        if (!problem.empty()) {
            return Batched::Alone;
        }
        if (archive.folder) {
            batch.Add(nullptr, {}, {}, std::move(archive), position);
        }
        return Batched::Added;
    }
    if ((toSource && (flags & WorkDestReadOnly)) || (toDest && (flags & WorkSourceReadOnly))) {
        return Batched::Alone;
    }
    const HeldFile from = toSource ? trees.dest.Reach(item.m_dest.m_strName, destPath, false)
                                   : trees.source.Reach(item.m_source.m_strName, sourcePath, false);
    const HeldFile to = !from.folder ? HeldFile()
                        : toSource   ? trees.source.Reach(item.m_source.m_strName, sourcePath, false)
                                     : trees.dest.Reach(item.m_dest.m_strName, destPath, false);
    HeldFile archive = ArchiveToClear(item, trees, sourcePath, true, problem);
    if (!to.folder || !problem.empty()) {
        return Batched::Alone;
    }
    const platform::ScannedTarget scanned = ScannedAt(item, toSource);
    std::unique_ptr<platform::CPreparedCopy> copy =
        platform::CPreparedCopy::Prepare(*from.folder, from.name, *to.folder, to.name,
                                         trees.builder.KeepsModes(item, toSource), true, &scanned);
    if (!copy) {
        return Batched::Failed;
    }
    ReplacedFile replaced;
    if (trees.versions && copy->Replaces()) {
        replaced = {to, toSource, (toSource ? item.m_source.m_strName : item.m_dest.m_strName).Str()};
    }
    batch.Add(std::move(copy), from.shown, to.shown, std::move(archive), position, std::move(replaced));
    return Batched::Added;
}

// One handle on each file system a run may write to, taken before it writes: a flush reports only the
// write errors met since its handle was opened, and the kernel may write copies out on its own during
// the run.
using Flushes = std::vector<std::pair<std::string, std::unique_ptr<platform::CFileSystemFlush>>>;

// Writes every file system out; "" or the message naming the first that failed.
std::string FlushAll(Flushes& flushes) {
    for (auto& [folder, flush] : flushes) {
        if (!flush->Flush()) {
            return platform::LastError().About(folder);
        }
    }
    return std::string();
}

// Gives the new copies pending[begin, end) their real write times, through trees of its own (so that
// several threads can share the work). Returns the message about the first that failed, or "".
std::string FinishTimes(const std::vector<PendingCopy>& pending, size_t begin, size_t end,
                        const WorkList& items, const std::string& sourceDir, const std::string& destDir) {
    CTreeAccess source(sourceDir);
    CTreeAccess dest(destDir);
    for (size_t i = begin; i < end; ++i) {
        const PendingCopy& copy = pending[i];
        const WorkItem& item = items[static_cast<size_t>(copy.position)];
        const FileName& name = copy.toSource ? item.m_source.m_strName : item.m_dest.m_strName;
        const HeldFile file =
            (copy.toSource ? source : dest)
                .Reach(name.View(), (copy.toSource ? sourceDir : destDir) + name.Str(), false);
        if (!file.folder && platform::LastError().Kind() == platform::ErrorKind::NotFound) {
            continue;  // its folder went away meanwhile: nothing left to finish
        }
        // A copy into the source whose item marks it as backed up is marked against its real time: the
        // mark made when it was put in place holds the provisional one.
        const bool mark = copy.toSource && (item.m_nFlags & WorkClearArchive);
        if (!file.folder || !platform::FinishWriteTime(*file.folder, file.name, copy.time, mark)) {
            return PathProblem(file.shown);
        }
    }
    return std::string();
}

// New copies were named with the provisional write time: once the file systems hold their data, they
// get their real ones. When the flush fails they keep it, so that the next run copies them again.
// Returns the message that stops the run, or "".
std::string FinishNewCopies(RunTrees& trees, Flushes& flushes, const WorkList& items,
                            const std::string& sourceDir, const std::string& destDir) {
    std::vector<PendingCopy>& pending = trees.pending;
    if (pending.empty()) {
        return std::string();
    }
    if (std::string problem = FlushAll(flushes); !problem.empty()) {
        return problem;
    }
    // In list order, so that consecutive copies share their folder's handle.
    std::sort(pending.begin(), pending.end(),
              [](const PendingCopy& a, const PendingCopy& b) { return a.position < b.position; });
    // A first backup of many small files would spend a twentieth of its time here on one thread: the
    // second half of the list goes to a helper. Either half's first failure is reported, the first half's
    // before the second's, as a walk in list order would.
    constexpr size_t kSplitAbove = 256;
    size_t half = pending.size();
    std::future<std::string> helper;
    if (pending.size() > kSplitAbove) {
        half = pending.size() / 2;
        try {
            helper = std::async(std::launch::async, FinishTimes, std::cref(pending), half, pending.size(),
                                std::cref(items), std::cref(sourceDir), std::cref(destDir));
        } catch (const std::system_error&) {
            half = pending.size();  // no thread: all of it here
        }
    }
    std::string problem = FinishTimes(pending, 0, half, items, sourceDir, destDir);
    std::string later = helper.valid() ? helper.get() : std::string();
    return problem.empty() ? later : problem;
}

}  // namespace

std::string GetRunTitle(int mode) {
    static const char* const kTitles[] = {res::kTitleBackup, res::kTitleSynchronize, res::kTitleCheckIn,
                                          res::kTitleCheckOut};
    return mode >= RunBackup && mode <= RunCheckOut ? kTitles[mode - RunBackup] : res::kTitleDefault;
}

int ExecuteWorkList(IRunHost& host, std::string& sourceDir, std::string& destDir,
                    const CWorkListBuilder& builder, int mode, const std::string& versionStamp) {
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
    std::unique_ptr<CKeptVersions> versions;
    if (!versionStamp.empty()) {
        versions = std::make_unique<CKeptVersions>(sourceDir, destDir, versionStamp);
    }
    RunTrees trees{CTreeAccess(sourceDir), CTreeAccess(destDir), builder, {}, versions.get()};
    Flushes flushes;
    for (std::string& folder : FoldersToFlush(builder, mode)) {
        auto handle = std::make_unique<platform::CFileSystemFlush>(folder);
        flushes.emplace_back(std::move(folder), std::move(handle));
    }
    CCopyBatch batch;
    // A large file's copy shows its bytes as they go, so a long copy is seen to be alive. Every copy
    // is written on this thread, right after its item's status.
    std::optional<platform::CCopyProgressScope> bytes;
    if (progress) {
        bytes.emplace([progress, &sourcePath](uint64_t done, uint64_t size) {
            progress->SetStatus(BytesStatus(done, size, sourcePath));
        });
    }
    batch.KeepVersions(versions.get());
    // Two names that one tree can keep only as one file: the run copies nothing at all.
    std::string problem = builder.CaseClash();
    int failed = -1;  // the item whose execution gave the problem
    for (int i = 0; i < count && problem.empty(); ++i) {
        const WorkItem& item = items[static_cast<size_t>(i)];
        sourcePath.assign(sourceDir).append(item.m_source.m_strName);
        destPath.assign(destDir).append(item.m_dest.m_strName);
        if (progress) {
            progress->SetPos(i);
            progress->SetStatus(sourcePath);
        }
        if (host.StopRequested()) {
            problem = res::kInterrupted;  // what was written ahead is dropped unseen
            break;
        }
        if (batch.Full() && !(problem = batch.Next()).empty()) {
            break;
        }
        const Batched batched = AddToBatch(batch, item, i, trees, sourcePath, destPath);
        if (batched == Batched::Added) {
            continue;
        }
        const platform::CError err = platform::LastError();
        // Every earlier item is complete before this one starts.
        problem = batch.Complete();
        // Out of open files, the copy gets its chance alone, now that the batch has closed its files.
        const bool alone = batched == Batched::Alone || err.Kind() == platform::ErrorKind::TooManyFiles;
        if (problem.empty()) {
            // A copy that could not be written ahead fails as it would alone: its folder is there.
            platform::SetLastError(err);
            problem = alone ? ExecuteItem(item, i, trees, sourcePath, destPath)
                            : ((item.m_nFlags & WorkSynchronize) ? CopyProblem(destPath, sourcePath)
                                                                 : CopyProblem(sourcePath, destPath));
            failed = problem.empty() ? -1 : i;
        }
    }
    if (problem.empty()) {
        problem = batch.Complete();
    }
    for (const auto& [position, time] : batch.PendingTimes()) {
        const bool toSource = (items[static_cast<size_t>(position)].m_nFlags & WorkSynchronize) != 0;
        trees.pending.push_back({position, toSource, time});
    }
    std::string unfinished = FinishNewCopies(trees, flushes, items, sourceDir, destDir);
    // Then everything the run wrote (the times just set, backup marks, replaced copies) reaches the disk
    // before the run counts as done: an unattended run's "OK!" and a closed progress window mean copies
    // that survive a power cut. One message a run: after another, a failed flush adds none.
    if (unfinished.empty()) {
        unfinished = FlushAll(flushes);
    }
    if (problem.empty()) {
        problem = std::move(unfinished);
    }
    if (!problem.empty() && host.StopRequested()) {
        problem = res::kInterrupted;  // a copy cut short by the request is no failure of its own
        failed = -1;
    } else if (!problem.empty() && batch.FailedPosition() >= 0) {
        failed = batch.FailedPosition();
        if (progress) {
            // A copy written ahead fails when it is put in place, up to a batch after the run showed it:
            // the window goes back to the item the message is about.
            progress->SetPos(failed);
            progress->SetStatus(sourceDir + items[static_cast<size_t>(failed)].m_source.m_strName.Str());
        }
    }
    if (!problem.empty()) {
        host.Report(problem, 0, 0);
    }
    return failed;
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
    // A run that copies nothing and finds every source marked as backed up writes nothing: a flush
    // would only wait for what other programs wrote. This is the run where nothing changed.
    const auto writes = [](const WorkItem& item) {
        return (item.m_nFlags & (WorkSynchronize | WorkBackup | WorkCreate)) || ClearsArchive(item, false);
    };
    if (std::none_of(builder.m_items.begin(), builder.m_items.end(), writes)) {
        return folders;
    }
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
