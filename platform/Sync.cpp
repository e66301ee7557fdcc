#include "platform/Sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/PosixUtil.h"

namespace platform {

using detail::CFd;
using detail::Fail;
using detail::RetryEintr;

namespace {

// O_RDONLY (not O_PATH): syncfs needs a descriptor that refers to an open file of that file system.
// O_NONBLOCK keeps a pipe named by mistake from blocking the open.
int OpenForSync(int dirFd, const char* path) {
    return RetryEintr([&] { return openat(dirFd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY); });
}

}  // namespace

// Flushes through a descriptor of its own: syncfs moves its descriptor past the errors it reports, and
// those belong to the owner's final flush.
class CFileSystemFlush::CHelper {
  public:
    // A folder's descriptor yields a new open file of the same folder; anything else leaves no helper.
    explicit CHelper(int fd) : m_fd(OpenForSync(fd, ".")) {}

    ~CHelper() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bOver = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    void Start() {
        if (!m_fd.Valid()) {
            return;
        }
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // No helper: the final flush does all the work, as it would without one.
        }
    }

  private:
    void Run() {
        std::chrono::steady_clock::duration pause = std::chrono::milliseconds(100);
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_changed.wait_for(lock, pause, [this] { return m_bOver; })) {
            lock.unlock();
            const auto start = std::chrono::steady_clock::now();
            (void)syncfs(m_fd.Get());
            // A slow disk (a USB stick) is left as much time between flushes as a flush takes: each one
            // rewrites the file system's tables.
            pause = std::max<std::chrono::steady_clock::duration>(std::chrono::milliseconds(100),
                                                                  std::chrono::steady_clock::now() - start);
            lock.lock();
        }
    }

    CFd m_fd;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bOver = false;  // guarded by m_mutex
    std::thread m_thread;
};

CFileSystemFlush::CFileSystemFlush(const std::string& path)
    : m_fd(OpenForSync(AT_FDCWD, path.c_str())), m_openError(m_fd < 0 ? errno : 0) {}

CFileSystemFlush::~CFileSystemFlush() {
    m_helper.reset();
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void CFileSystemFlush::FlushInBackground() {
    if (m_fd >= 0 && !m_helper) {
        m_helper = std::make_unique<CHelper>(m_fd);
        m_helper->Start();
    }
}

bool CFileSystemFlush::Flush() {
    m_helper.reset();
    if (m_fd < 0) {
        return Fail(m_openError);
    }
    // Since Linux 5.8 syncfs also reports the write errors (EIO, ENOSPC) that happened since the
    // descriptor was opened; each replaced copy's own flush has already reported the errors of its data.
    if (RetryEintr([&] { return syncfs(m_fd); }) != 0) {
        return Fail();
    }
    return true;
}

bool SyncFileSystem(const std::string& path) {
    return CFileSystemFlush(path).Flush();
}

}  // namespace platform
