// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FolderWalk.h"

#include "engine/IgnoreRule.h"
#include "engine/KeptVersions.h"
#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/Error.h"
#include "support/DepthFirst.h"
#include "support/NameOrder.h"
#include "support/Mutex.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <system_error>
#include <thread>

namespace {

// One folder of the tree: what a thread needs to list it, and what the listing found. The input is set
// before the job is queued; the output is written by the one thread that runs the job and read by the
// collecting thread only after the job is marked done (under the walk's mutex).
struct FolderJob {
    struct Child {
        size_t before;  // how many of the parent's own files come before the child's
        std::unique_ptr<FolderJob> job;
    };

    // Input. The parent stays open while any of its subfolders still has to be opened through it.
    std::shared_ptr<const platform::CFolder> parent;  // null for the root
    std::string name;                                 // the folder's name in its parent
    std::string prefix;                               // its relative path, "" or ending in "/"
    std::shared_ptr<const platform::CFolder> folder;  // the root only: open already
    std::vector<platform::DirEntry> entries;          // the root only: listed already
    uint64_t parentDevice = 0;                        // the file system of the parent (the root: its own)

    // Output.
    FileList files;
    std::vector<Child> children;
    WalkFailure failure;    // its files and children all come before it
    uint64_t device = 0;    // its file system
    uint32_t modesAny = 0;  // the permission bits of its files, ORed and ANDed
    uint32_t modesAll = 07777;
    std::unique_ptr<MediumBelow> medium;  // only where its file system differs from its parent's
    std::exception_ptr exception;
    bool done = false;  // touched only under the walk's mutex

    // Frees the subtree level by level: a chain of destructors, one per level, overflows the stack in
    // a tree tens of thousands of folders deep. Gathered children are gone already, so a normal walk
    // never fills the list.
    ~FolderJob() {
        std::vector<std::unique_ptr<FolderJob>> doomed;
        const auto adopt = [&doomed](std::vector<Child>& of) {
            for (Child& child : of) {
                if (child.job) {
                    doomed.push_back(std::move(child.job));
                }
            }
        };
        adopt(children);
        while (!doomed.empty()) {
            std::unique_ptr<FolderJob> job = std::move(doomed.back());
            doomed.pop_back();
            adopt(job->children);
        }
    }
};

// The shared state of one Collect: the queue of folders to list and the mutex that hands results over.
class CWalkQueue {
  public:
    // Takes a job to run, or null once the walk is over; waits while there is nothing to do.
    FolderJob* Take() EXCLUDES(m_mutex) {
        CMutexLock lock(m_mutex);
        while (!m_bOver && m_pending.empty()) {
            m_changed.Wait(m_mutex);
        }
        return m_bOver ? nullptr : Pop();
    }

    // Marks job done and queues its subfolders, the first one on top: the walk stays close to the order
    // in which the results are collected, so few finished folders wait in memory.
    void Finish(FolderJob& job) EXCLUDES(m_mutex) {
        CMutexLock lock(m_mutex);
        for (auto child = job.children.rbegin(); child != job.children.rend(); ++child) {
            m_pending.push_back(child->job.get());
        }
        job.done = true;
        m_changed.NotifyAll();
    }

    // Returns once job is done; runs other jobs with run meanwhile rather than wait idle.
    template <typename Run>
    void Await(const FolderJob& job, Run&& run) EXCLUDES(m_mutex) {
        CMutexLock lock(m_mutex);
        for (;;) {
            if (job.done) {
                return;
            }
            if (!m_pending.empty()) {
                FolderJob* other = Pop();
                lock.Unlock();
                run(*other);
                lock.Lock();
                continue;
            }
            m_changed.Wait(m_mutex);
        }
    }

    // Ends the walk: waiting helpers return, queued jobs are never run.
    void Close() EXCLUDES(m_mutex) {
        CMutexLock lock(m_mutex);
        m_bOver = true;
        m_changed.NotifyAll();
    }

  private:
    FolderJob* Pop() REQUIRES(m_mutex) {
        FolderJob* job = m_pending.back();
        m_pending.pop_back();
        return job;
    }

    CMutex m_mutex;
    CCondVar m_changed;
    std::vector<FolderJob*> m_pending GUARDED_BY(m_mutex);  // top at the back
    bool m_bOver GUARDED_BY(m_mutex) = false;
};

// What each file system met below the root keeps, learned once for the walk.
class CMediaSeen {
  public:
    platform::Medium Learn(uint64_t device, const platform::CFolder& top) EXCLUDES(m_mutex) {
        CMutexLock lock(m_mutex);
        const auto known = m_media.find(device);
        if (known != m_media.end()) {
            return known->second;
        }
        return m_media.emplace(device, platform::LearnMedium(top)).first->second;
    }

  private:
    CMutex m_mutex;
    std::map<uint64_t, platform::Medium> m_media GUARDED_BY(m_mutex);
};

// Ends the walk and joins the helpers however Collect is left, before the jobs they use are freed.
class CHelperThreads {
  public:
    explicit CHelperThreads(CWalkQueue& queue) : m_queue(queue) {}
    ~CHelperThreads() {
        m_queue.Close();
        for (std::thread& t : m_threads) {
            t.join();
        }
    }
    CHelperThreads(const CHelperThreads&) = delete;
    CHelperThreads& operator=(const CHelperThreads&) = delete;

    template <typename Run>
    void Start(int count, Run run) {
        for (int i = 0; i < count; ++i) {
            try {
                m_threads.emplace_back([this, run] {
                    while (FolderJob* job = m_queue.Take()) {
                        run(*job);
                    }
                });
            } catch (const std::system_error&) {
                return;  // fewer helpers: the collecting thread does the rest itself
            }
        }
    }

  private:
    CWalkQueue& m_queue;
    std::vector<std::thread> m_threads;
};

}  // namespace

platform::CError FillFileEntry(FileEntry& entry, const platform::FileInfo& info) {
    switch (info.kind) {
        case platform::EntryKind::Folder:
            return platform::CError(platform::ErrorKind::IsFolder);
        case platform::EntryKind::Other:
            // A pipe, socket or device holds no file to back up, and opening one may block.
            return platform::CError(platform::ErrorKind::NotSupported);
        case platform::EntryKind::File:
            // Reading the contents is what a copy needs; the check stands in for opening the file.
            if (!info.readable) {
                return platform::CError(platform::ErrorKind::Denied);
            }
            break;
        case platform::EntryKind::Link:
            // A link is copied as a link: its target text is always readable.
            break;
    }
    entry.m_ftWrite = info.writeTime;
    entry.m_nReadOnly = info.readOnly ? 1 : 0;
    entry.m_nArchive = info.archive ? 0x20 : 0;
    return platform::CError();
}

platform::CError FailureCode() {
    const platform::CError err = platform::LastError();
    return err.Failed() ? err : platform::CError(platform::ErrorKind::Io);
}

CFolderWalk::CFolderWalk(const CIgnoreRule& ignore, bool readArchive, int helpers)
    : m_ignore(ignore), m_bReadArchive(readArchive), m_nHelpers(std::max(helpers, 0)) {}

namespace {

// Lists one folder: opens it through its parent (unless it is the root), reads its files' details and
// records its subfolders as child jobs. Stops at the folder's first failure.
void ListFolder(FolderJob& job, const CIgnoreRule& ignore, bool readArchive, CMediaSeen& media) {
    platform::FileInfo info;
    std::string relative;
    // Only the listing needs the path: kept in every job of a deep chain, the paths would take memory
    // growing with the square of the depth.
    const std::string prefix = std::move(job.prefix);
    std::shared_ptr<const platform::CFolder> folder = std::move(job.folder);
    std::vector<platform::DirEntry> entries = std::move(job.entries);
    if (!folder) {
        // A folder that may be listed but not entered opens all the same; its files could not be read,
        // so it counts as one that cannot be entered.
        std::unique_ptr<platform::CFolder> child;
        if (job.parent->Stat(job.name, info, false) && info.kind == platform::EntryKind::Folder &&
            info.readable) {
            child = job.parent->OpenChild(job.name);
        }
        job.parent.reset();
        if (!child) {
            job.failure.kind = WalkFailure::FolderNotEntered;
            return;
        }
        if (!child->ReadEntries(entries)) {
            return;  // entered but not listable: contributes nothing
        }
        job.device = info.device;
        // A mount point: only now, after the listing, which must not see the probe's file.
        if (job.device != job.parentDevice) {
            job.medium = std::make_unique<MediumBelow>(MediumBelow{prefix, media.Learn(job.device, *child)});
        }
        folder = std::move(child);
    } else {
        job.device = job.parentDevice;
    }
    // File systems list in their own order (a hash on ext4); users review the job list in name order.
    SortByName(entries);
    for (platform::DirEntry& e : entries) {
        switch (e.kind) {
            case platform::EntryKind::Folder: {
                if (e.name == kVersionsFolder) {
                    break;  // kept versions are the program's own, like its temporary files
                }
                auto child = std::make_unique<FolderJob>();
                child->parent = folder;
                child->parentDevice = job.device;
                child->prefix.reserve(prefix.size() + e.name.size() + 1);
                child->prefix.append(prefix).append(e.name).push_back('/');
                child->name = std::move(e.name);
                job.children.push_back({job.files.size(), std::move(child)});
                break;
            }
            case platform::EntryKind::File:
            case platform::EntryKind::Link: {
                // A copy killed on a file system without unnamed files leaves its hidden file: not ours
                // to back up (it would block every later backup) nor to synchronize into the other tree,
                // and gone once its writer is.
                if (platform::IsTemporaryName(e.name)) {
                    folder->RemoveLeftover(e.name);
                    break;
                }
                if (ignore.IsIgnored(e.name)) {
                    break;
                }
                FileEntry entry;
                const platform::CError err =
                    folder->Stat(e.name, info, readArchive) ? FillFileEntry(entry, info) : FailureCode();
                relative.assign(prefix).append(e.name);
                if (err.Failed()) {
                    job.failure = {WalkFailure::FileNotRead, relative, err};
                    return;
                }
                entry.m_strName = relative;
                job.files.push_back(std::move(entry));
                if (info.kind == platform::EntryKind::File) {
                    job.modesAny |= info.mode;
                    job.modesAll &= info.mode;
                }
                break;
            }
            case platform::EntryKind::Other:
                break;  // pipes, sockets and devices are not files to back up
        }
    }
}

// Moves the files of root and its subtree to out in walk order, freeing each folder's results as soon
// as they are moved; returns the first failure met.
template <typename Await>
WalkFailure Gather(FolderJob& root, FileList& out, std::vector<MediumBelow>& media,
                   const std::function<void(const std::string&)>& topFolder, Await& await) {
    struct Level {
        FolderJob* job;
        size_t medium = 0;     // its medium's place in media
        size_t nextFile = 0;   // the first of its files not yet moved
        size_t nextChild = 0;  // the first of its children not yet gathered
        bool inChild = false;  // the walk is below children[nextChild]
    };
    const auto enter = [&](FolderJob& job, size_t medium) {
        await(job);
        if (job.exception) {
            std::rethrow_exception(job.exception);
        }
        if (job.medium) {
            medium = media.size();
            media.push_back(std::move(*job.medium));
        }
        media[medium].modesAny |= job.modesAny;
        media[medium].modesAll &= job.modesAll;
        return Level{&job, medium};
    };
    WalkFailure failure;
    WalkDepthFirst(
        std::optional<Level>(enter(root, 0)), [&](Level& level, size_t depth) -> std::optional<Level> {
            FolderJob& job = *level.job;
            if (failure.kind != WalkFailure::None) {
                return std::nullopt;  // nothing after the first failure is gathered
            }
            if (level.inChild) {
                job.children[level.nextChild++].job.reset();
                level.inChild = false;
            }
            const size_t end = level.nextChild < job.children.size() ? job.children[level.nextChild].before
                                                                     : job.files.size();
            std::move(job.files.begin() + static_cast<ptrdiff_t>(level.nextFile),
                      job.files.begin() + static_cast<ptrdiff_t>(end), std::back_inserter(out));
            level.nextFile = end;
            if (level.nextChild < job.children.size()) {
                FolderJob& child = *job.children[level.nextChild].job;
                if (depth == 0 && topFolder) {
                    topFolder(child.name);
                }
                level.inChild = true;
                return enter(child, level.medium);
            }
            FileList().swap(job.files);
            failure = std::move(job.failure);
            return std::nullopt;
        });
    return failure;
}

}  // namespace

WalkFailure CFolderWalk::Collect(std::unique_ptr<platform::CFolder> root,
                                 std::vector<platform::DirEntry> rootEntries, uint64_t rootDevice,
                                 FileList& out, std::vector<MediumBelow>& media,
                                 const std::function<void(const std::string&)>& topFolder) {
    FolderJob rootJob;
    rootJob.folder = std::move(root);
    rootJob.entries = std::move(rootEntries);
    rootJob.parentDevice = rootDevice;

    CWalkQueue queue;
    CMediaSeen seen;
    const CIgnoreRule& ignore = m_ignore;
    const bool readArchive = m_bReadArchive;
    const auto run = [&queue, &ignore, readArchive, &seen](FolderJob& job) {
        try {
            ListFolder(job, ignore, readArchive, seen);
        } catch (...) {
            job.children.clear();  // nothing below a folder that was not listed whole is looked at
            job.exception = std::current_exception();
        }
        queue.Finish(job);
    };
    // Declared after the jobs' owner, so the helpers are joined before any job is freed.
    CHelperThreads helpers(queue);
    helpers.Start(m_nHelpers, run);
    auto await = [&](const FolderJob& job) { queue.Await(job, run); };

    run(rootJob);
    return Gather(rootJob, out, media, topFolder, await);
}
