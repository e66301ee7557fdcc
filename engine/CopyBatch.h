#pragma once
// Copies of consecutive worklist items written ahead and put in place together, so that the replaced
// files of a batch reach the disk with one flush instead of one each. Items still complete strictly in
// list order: a run that stops leaves what it would have left doing one item at a time, and a copy
// written ahead but never put in place leaves no trace. Run's thread only.

#include <memory>
#include <string>
#include <vector>

namespace platform {
class CPreparedCopy;
}

// The message that stops a run when a copy fails, and when a file's attributes cannot be changed;
// both read the calling thread's last error.
std::string CopyProblem(const std::string& from, const std::string& to);
std::string PathProblem(const std::string& path);

class CCopyBatch {
  public:
    CCopyBatch();
    ~CCopyBatch();
    CCopyBatch(const CCopyBatch&) = delete;
    CCopyBatch& operator=(const CCopyBatch&) = delete;

    // Queues a written copy from -> to (or no copy: null); clearArchive names the file whose archive bit
    // is cleared once the copy is in place ("" for none).
    void Add(std::unique_ptr<platform::CPreparedCopy> copy, const std::string& from, const std::string& to,
             const std::string& clearArchive);
    // True when the next copy must wait for Complete. Each queued copy holds up to three open files and
    // each published one that waits for the helper one: a run holds at most about 330 at a time.
    bool Full() const;

    // Flushes the queued copies, then puts them in place in order and clears the archive bits. Returns
    // "" or the message of the first failure; the copies after it are dropped. The batch is empty after.
    std::string Complete();

  private:
    static constexpr size_t kMaxCopies = 64;
    struct Entry;
    class CReleaser;
    std::vector<Entry> m_entries;
    std::unique_ptr<CReleaser> m_releaser;  // joined when the batch is destroyed
};
