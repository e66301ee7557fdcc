// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Flushing a whole file system to its disk, so that an unattended run says "OK!" only about data that
// would survive a power cut. Any thread.

#include <cstdint>
#include <string>

namespace platform {

// A handle on the file system that holds a run's folder, taken before the run writes to it. syncfs
// reports only the write errors that happened since its handle was opened: a handle opened after the
// run would miss an error the kernel met while it wrote the run's copies out on its own. One thread at a
// time per object.
class CFileSystemFlush final {
  public:
    // path is a file or folder of the file system. Never fails: a path that cannot be opened is reported
    // by Flush.
    explicit CFileSystemFlush(const std::string& path);
    ~CFileSystemFlush();
    CFileSystemFlush(const CFileSystemFlush&) = delete;
    CFileSystemFlush& operator=(const CFileSystemFlush&) = delete;

    // Writes every dirty buffer of the file system to its device and waits (syncfs). False, with the
    // last error set, when the path could not be opened or the device reported a write error since it
    // was.
    [[nodiscard]] bool Flush();

  private:
    int m_fd;
    int m_openError;
};

// The identity of the file system that holds path (its device number). False, with the last error set,
// when path cannot be looked at.
[[nodiscard]] bool FileSystemOf(const std::string& path, uint64_t& id);

}  // namespace platform
