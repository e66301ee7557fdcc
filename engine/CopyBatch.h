// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Copies of consecutive worklist items written ahead and put in place together, so that the replaced
// files of a batch reach the disk with one flush instead of one each. Items still complete strictly in
// list order: a run that stops leaves what it would have left doing one item at a time, and a copy
// written ahead but never put in place leaves no trace. Run's thread only.

#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/FileOps.h"
#include "platform/FileSystem.h"

class CKeptVersions;

// A file that a copy replaces, kept first when the run keeps versions (engine/KeptVersions.h): reached
// through its folder, named by its tree and its path relative to the root.
struct ReplacedFile {
    HeldFile file;
    bool inSource = false;
    std::string relative;
};

// The message that stops a run when a copy fails, and when a file's attributes cannot be changed;
// both read the calling thread's last error.
std::string CopyProblem(const std::string& from, const std::string& to);
std::string PathProblem(const std::string& path);
// Clears the archive bit of file. Returns "" or the message (naming file.shown) that stops the run; a
// file this user may not write (ErrorKind::Denied) keeps its bit without stopping it.
std::string ClearArchiveBit(const HeldFile& file);

class CCopyBatch {
  public:
    CCopyBatch();
    ~CCopyBatch();
    CCopyBatch(const CCopyBatch&) = delete;
    CCopyBatch& operator=(const CCopyBatch&) = delete;

    // Queues a written copy from -> to (or no copy: null; from and to are what a message shows);
    // clearArchive names the file whose archive bit is cleared once the copy is in place (no folder for
    // none). position is the item's place in the worklist, given back by FailedPosition.
    void Add(std::unique_ptr<platform::CPreparedCopy> copy, const std::string& from, const std::string& to,
             HeldFile clearArchive, int position = -1, ReplacedFile replaced = {});
    // With versions set, a copy that replaces a file keeps it (replaced, as Add was given it) right
    // before it is put in place; a file that cannot be kept stops the batch there, unreplaced.
    void KeepVersions(CKeptVersions* versions) { m_pVersions = versions; }
    // True when the next copy must wait for Next. Each written copy holds two open files until it is put
    // in place, and each published one that waits for the helper one: a run holds at most about 320.
    bool Full() const;

    // Puts the batch before this one in place with its archive bits, then flushes this one on a helper
    // thread while the run writes the next: the disk writes one batch while the run's thread writes
    // another. Returns "" or the message of the first failure; the copies after it are dropped.
    std::string Next();
    // Puts every queued copy in place, in order, the flushed batch first, and clears the archive bits.
    // Returns "" or the message of the first failure; the copies after it are dropped. Empty after.
    std::string Complete();
    // The position of the item whose failure Next or Complete reported (it may lie a batch behind the
    // item the run has reached), or -1.
    int FailedPosition() const { return m_nFailedPosition; }
    // The new copies put in place with a provisional write time, by their position, in list order.
    std::vector<std::pair<int, platform::PendingWriteTime>>& PendingTimes() { return m_pendingTimes; }

  private:
    static constexpr size_t kMaxCopies = 64;
    struct Entry;
    class CReleaser;

    // Waits for the flush of m_flushing, then puts its copies in place.
    std::string PublishFlushed();

    std::vector<Entry> m_entries;
    std::vector<Entry> m_flushing;          // the batch being flushed, before m_entries in the list
    std::future<void> m_flush;              // destroyed before m_flushing: waits for its flush
    std::unique_ptr<CReleaser> m_releaser;  // joined when the batch is destroyed
    int m_nFailedPosition = -1;
    CKeptVersions* m_pVersions = nullptr;
    std::vector<std::pair<int, platform::PendingWriteTime>> m_pendingTimes;
};
