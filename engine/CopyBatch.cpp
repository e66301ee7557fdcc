// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CopyBatch.h"

#include "engine/FileOps.h"
#include "engine/KeptVersions.h"
#include "platform/FileSystem.h"
#include "platform/Error.h"
#include "platform/Folder.h"
#include "res/Strings.h"
#include "support/PathUtil.h"
#include "support/Mutex.h"

#include <functional>
#include <future>
#include <system_error>
#include <thread>

// Destroys published copies on a helper thread. A copy that replaced an older one holds that copy until
// then, and freeing its blocks is the dearest part of replacing a file (a discard per file on some
// disks): done here, it runs beside the run's next copies. The destructor waits until all are gone.
class CCopyBatch::CReleaser {
  public:
    ~CReleaser() {
        {
            CMutexLock lock(m_mutex);
            m_bOver = true;
        }
        m_changed.NotifyAll();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    void Release(std::unique_ptr<platform::CPreparedCopy> copy) EXCLUDES(m_mutex) {
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                return;  // no thread: the copy is destroyed right here
            }
        }
        // Each waiting copy holds open files: a helper that falls behind holds the run back instead.
        CMutexLock lock(m_mutex);
        while (m_copies.size() + m_nFreeing >= kMaxWaiting) {
            m_changed.Wait(m_mutex);
        }
        m_copies.push_back(std::move(copy));
        m_changed.NotifyAll();
    }

  private:
    static constexpr size_t kMaxWaiting = 64;

    void Run() EXCLUDES(m_mutex) {
        CMutexLock lock(m_mutex);
        for (;;) {
            while (!m_bOver && m_copies.empty()) {
                m_changed.Wait(m_mutex);
            }
            if (m_copies.empty()) {
                return;
            }
            std::vector<std::unique_ptr<platform::CPreparedCopy>> copies = std::move(m_copies);
            m_copies.clear();
            m_nFreeing = copies.size();  // still open until destroyed: they count against the bound
            lock.Unlock();
            copies.clear();
            lock.Lock();
            m_nFreeing = 0;
            m_changed.NotifyAll();
        }
    }

    CMutex m_mutex;
    CCondVar m_changed;
    std::vector<std::unique_ptr<platform::CPreparedCopy>> m_copies GUARDED_BY(m_mutex);
    size_t m_nFreeing GUARDED_BY(m_mutex) = 0;
    bool m_bOver GUARDED_BY(m_mutex) = false;
    std::thread m_thread;
};

struct CCopyBatch::Entry {
    std::unique_ptr<platform::CPreparedCopy> copy;
    std::string from;
    std::string to;
    HeldFile clearArchive;
    int position;
    ReplacedFile replaced;
};

std::string CopyProblem(const std::string& from, const std::string& to) {
    // The target is no longer what the scan saw: it is named, not the system's "File exists".
    const platform::CError error = platform::LastError();
    if (error.Kind() == platform::ErrorKind::Exists) {
        return to + res::kChangedDuringRun;
    }
    return error.About(res::kCopy + from + res::kCopyTo + to);
}

std::string PathProblem(const std::string& path) {
    return platform::LastError().About(path);
}

std::string ClearArchiveBit(const HeldFile& file) {
    if (ChangeAttributes(*file.folder, file.name, platform::kAttrArchive, AttrRemove) != 0) {
        return std::string();
    }
    // A source this user may only read (a read-only mount, a snapshot, another user's file) keeps its
    // mark, as on a file system without the records: the copy stands, and no rule reads the mark.
    return platform::LastError().Kind() == platform::ErrorKind::Denied ? std::string()
                                                                       : PathProblem(file.shown);
}

CCopyBatch::CCopyBatch() : m_releaser(std::make_unique<CReleaser>()) {}
CCopyBatch::~CCopyBatch() = default;

void CCopyBatch::Add(std::unique_ptr<platform::CPreparedCopy> copy, const std::string& from,
                     const std::string& to, HeldFile clearArchive, int position, ReplacedFile replaced) {
    m_entries.push_back({std::move(copy), from, to, std::move(clearArchive), position, std::move(replaced)});
}

bool CCopyBatch::Full() const {
    return m_entries.size() >= kMaxCopies;
}

std::string CCopyBatch::Next() {
    std::string problem = PublishFlushed();
    if (!problem.empty()) {
        m_entries.clear();
        return problem;
    }
    m_flushing = std::move(m_entries);
    m_entries.clear();
    // Copies named with the provisional time wait for the run's end (see CPreparedCopy::Publish).
    std::vector<platform::CPreparedCopy*> copies;
    for (const Entry& entry : m_flushing) {
        if (entry.copy && entry.copy->FlushesFirst()) {
            copies.push_back(entry.copy.get());
        }
    }
    if (copies.empty()) {
        return {};
    }
    // A failed flush loses nothing: each of these copies then flushes itself before it is put in place,
    // and the one whose data could not be written reports it as its own failure.
    try {
        m_flush = std::async(std::launch::async, [copies] { (void)platform::CPreparedCopy::Flush(copies); });
    } catch (const std::system_error&) {
        (void)platform::CPreparedCopy::Flush(copies);  // no thread: flushed right here
    }
    return {};
}

std::string CCopyBatch::Complete() {
    std::string problem = Next();
    if (problem.empty()) {
        problem = PublishFlushed();
    }
    return problem;
}

std::string CCopyBatch::PublishFlushed() {
    if (m_flush.valid()) {
        m_flush.get();
    }
    std::vector<Entry> entries = std::move(m_flushing);
    m_flushing.clear();
    for (Entry& entry : entries) {
        // Kept versions: the old file gets its second name right before the new one takes its name.
        KeptFile kept;
        std::string unkept;
        const auto keep = [&] { return (unkept = m_pVersions->Keep(entry.replaced, kept)).empty(); };
        const bool keeps = m_pVersions && entry.copy && entry.copy->Replaces() && entry.replaced.file.folder;
        if (entry.copy && !entry.copy->Publish(keeps ? keep : std::function<bool()>())) {
            CKeptVersions::PutBack(kept, entry.replaced);
            m_nFailedPosition = entry.position;
            return unkept.empty() ? CopyProblem(entry.from, entry.to) : unkept;
        }
        // A source already marked with the write time it was copied at needs no second look: clearing
        // finds nothing to change, unless the file changed since, and then its mark must stay set.
        const bool marked = entry.copy && !entry.copy->SourceArchived();
        if (entry.copy) {
            if (const platform::PendingWriteTime time = entry.copy->PendingTime(); time.pending) {
                m_pendingTimes.emplace_back(entry.position, time);
            }
        }
        if (entry.copy && entry.copy->Replaces()) {
            m_releaser->Release(std::move(entry.copy));
        }
        if (entry.clearArchive.folder && !marked) {
            std::string problem = ClearArchiveBit(entry.clearArchive);
            if (!problem.empty()) {
                m_nFailedPosition = entry.position;
                return problem;
            }
        }
    }
    return {};
}
