#pragma once
// Flushing a whole file system to its disk, so that an unattended run says "OK!" only about data that
// would survive a power cut. Any thread.

#include <string>

namespace platform {

// Writes every dirty buffer of the file system that holds path (a file or folder) to its device and
// waits for it (syncfs). On failure (path cannot be opened, or the device reported a write error since
// the file system was last synced) returns false with the last error set; nothing is changed on disk.
[[nodiscard]] bool SyncFileSystem(const std::string& path);

}  // namespace platform
