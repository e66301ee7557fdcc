// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File helpers of the executor and the check-in/check-out walks: attribute changes, folder creation
// along a path, and a copy that lifts a read-only target. Any thread; each function sets the calling
// thread's last platform error when it fails.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileSystem.h"

namespace platform {
class CFolder;
}  // namespace platform

// A file reached through its folder held open (platform/Folder.h): the folder, the file's name in it,
// and the path a message shows. No folder: none.
struct HeldFile {
    std::shared_ptr<platform::CFolder> folder;
    std::string name;
    std::string shown;
};

enum AttrMode : int {
    AttrAdd = 0,
    AttrRemove = 1,
    AttrTest = 2,
};

// AttrAdd / AttrRemove: adds or removes the mask bits (platform::kAttrReadOnly, kAttrArchive); non-zero
// on success. AttrTest: 1 when any mask bit is set, else 0. 0 when the attributes cannot be read.
// Any other mode: 1, nothing changes. A failure to read or write sets the last error.
int ChangeAttributes(const std::string& path, uint32_t mask, int mode);
// The same for the entry name of a held folder.
int ChangeAttributes(const platform::CFolder& folder, const std::string& name, uint32_t mask, int mode);

// Creates the folder and, for an absolute path, every missing folder above it. True when the last
// creation succeeded or found something already there. A relative path whose parent is missing fails.
bool CreateDirectoryPath(const std::string& path);

// After a copy of existing to target failed with the last error set: when that error says only the
// target's folder is missing, creates the folder and copies once more. False, with the first failure's
// error (or the new one's) as last error, when nothing more could be done.
// sourceKeepsModes, pending and scanned as for platform::CopyFileAtomic.
bool CopyIntoNewFolder(const std::string& existing, const std::string& target, bool sourceKeepsModes = true,
                       platform::PendingWriteTime* pending = nullptr,
                       const platform::ScannedTarget* scanned = nullptr);

// Copies existing over target (contents, write time, attributes), replacing target atomically: on
// failure the old target is untouched and no temporary file remains. When target's folder is missing,
// creates it and tries once more. With liftReadOnly, a read-only target is made writable for the copy
// and read-only again afterwards, whether the copy succeeded or not. True only when the copy succeeded
// and a lifted bit was restored; on failure the last error is the copy's, or the restore's when only
// the restore failed.
// sourceKeepsModes false: existing lies on a medium that makes its permission bits up (platform/Medium.h).
bool CopyFileWithPath(const std::string& existing, const std::string& target, bool liftReadOnly,
                      bool sourceKeepsModes = true, platform::PendingWriteTime* pending = nullptr,
                      const platform::ScannedTarget* scanned = nullptr);
// The same between files of held folders, whose folders are there: none is made.
bool CopyFileWithPath(const HeldFile& existing, const HeldFile& target, bool liftReadOnly,
                      bool sourceKeepsModes, platform::PendingWriteTime* pending,
                      const platform::ScannedTarget* scanned);
