// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeping a file that a copy is about to replace, and removing the folders that hold such kept files once
// they are old. Any thread.

#include <cstdint>
#include <string>

namespace platform {

class CFolder;

enum class KeptBy {
    Nothing,  // nothing stood at the path: nothing to keep
    Link,     // a second name of the same file: the original stays in place
    Rename,   // moved: the path is free until the new copy takes it
    Copy,     // copied: the file lies on another file system than its version folder
};

// Gives the file or link name of folder the name version in the folder versions without copying a byte: a
// hard link where the file system has them, else a rename (FAT, exFAT). Contents, times, modes and the
// archive record are the file's own. A file on another file system than version (a mount inside the tree) is
// copied as CopyFileAtomic copies. Never replaces anything at version (EEXIST). On failure nothing changed.
[[nodiscard]] bool KeepAsVersion(const CFolder& folder, const std::string& name, const CFolder& versions,
                                 const std::string& version, KeptBy& how);

// After a failed replacement: moves a file that KeepAsVersion renamed back to name of folder, unless
// something took that name meanwhile. Best effort.
void PutVersionBack(const CFolder& versions, const std::string& version, const CFolder& folder,
                    const std::string& name);

// Removes the folder name of a held folder (a link there is refused) with everything below it. Never
// follows a link (a link is removed as a link) and never leaves the folder's file system: a mount below
// stays, with the folders above it, and the call fails with EXDEV. False, last error set, when
// anything stayed; what could be removed is gone.
[[nodiscard]] bool RemoveFolderTree(const CFolder& folder, const std::string& name);

// Seconds since 1970 now, and as a local time written "YYYY-MM-DD HHMMSS" and read back (false for any
// other text or a date that does not exist).
int64_t NowSeconds();
std::string LocalFolderStamp(int64_t seconds);
[[nodiscard]] bool SecondsFromLocalStamp(const std::string& stamp, int64_t& seconds);

}  // namespace platform
