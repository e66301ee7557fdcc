// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File helpers of the executor and the check-in/check-out walks: attribute changes and a copy that
// lifts a read-only target. Any thread; each function sets the calling
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
// With liftReadOnly, makes the read-only entry name of folder writable for a copy over it; true when it
// did, and the caller makes it read-only again (AttrAdd).
[[nodiscard]] bool LiftReadOnly(const platform::CFolder& folder, const std::string& name, bool liftReadOnly);

// Copies the file existing over target (contents, write time, attributes), each reached through its
// folder held open, replacing target atomically: on failure the old target is untouched and no temporary
// file remains. With liftReadOnly, a read-only target is made writable for the copy and read-only again
// afterwards, whether the copy succeeded or not. True only when the copy succeeded and a lifted bit was
// restored; on failure the last error is the copy's, or the restore's when only the restore failed.
// sourceKeepsModes false: existing lies on a medium that makes its permission bits up (platform/Medium.h);
// pending and scanned as for platform::CopyFileAtomic. A missing target folder is the caller's to make.
[[nodiscard]] bool CopyFileWithPath(const HeldFile& existing, const HeldFile& target, bool liftReadOnly,
                                    bool sourceKeepsModes, platform::PendingWriteTime* pending,
                                    const platform::ScannedTarget* scanned);
