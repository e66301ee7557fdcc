// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FileOps.h"

#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/Error.h"
#include "support/PathUtil.h"

#include <functional>

namespace {

// ChangeAttributes of the file that where names: a path, or a held folder and a name.
template <class... Where>
int ChangeAttributesOf(uint32_t mask, int mode, const Where&... where) {
    if (mode == AttrAdd || mode == AttrRemove) {
        // One look at the file instead of a read followed by a write that reads again.
        if (!platform::ChangeAttributeBits(where..., mask, mode == AttrAdd)) {
            return 0;
        }
        return 1;
    }
    uint32_t attributes = 0;
    if (!platform::GetAttributes(where..., attributes)) {
        return 0;
    }
    if (mode == AttrTest) {
        return (attributes & mask) != 0 ? 1 : 0;
    }
    return 1;
}

// CopyFileWithPath's lift around copy, of the target that where names.
template <class... Where>
bool CopyLifted(bool liftReadOnly, const std::function<bool()>& copy, const Where&... where) {
    bool lifted = false;
    if (liftReadOnly && ChangeAttributes(where..., platform::kAttrReadOnly, AttrTest) == 1) {
        lifted = ChangeAttributes(where..., platform::kAttrReadOnly, AttrRemove) != 0;
    }
    const bool copied = copy();
    const platform::CError copyError = copied ? platform::CError() : platform::LastError();
    if (lifted) {
        const bool restored = ChangeAttributes(where..., platform::kAttrReadOnly, AttrAdd) != 0;
        if (!copied) {
            // The copy's failure is what the user must read, not a later one.
            platform::SetLastError(copyError);
        }
        return copied && restored;
    }
    return copied;
}

}  // namespace

int ChangeAttributes(const std::string& path, uint32_t mask, int mode) {
    return ChangeAttributesOf(mask, mode, path);
}

int ChangeAttributes(const platform::CFolder& folder, const std::string& name, uint32_t mask, int mode) {
    return ChangeAttributesOf(mask, mode, folder, name);
}

bool CreateDirectoryPath(const std::string& path) {
    // Only an absolute path can be built up from the file-system root; "already exists" counts as made.
    if (platform::CreateFolder(path)) {
        return true;
    }
    return !path.empty() && path.front() == '/' &&
           (platform::LastError().Kind() == platform::ErrorKind::Exists || platform::MakeFolders(path));
}

bool CopyIntoNewFolder(const std::string& existing, const std::string& target, bool sourceKeepsModes,
                       platform::PendingWriteTime* pending, const platform::ScannedTarget* scanned) {
    if (platform::LastError().Kind() != platform::ErrorKind::NotFound) {
        return false;
    }
    // Not found also means a vanished source; only a missing target folder is worth creating. A folder that
    // another run made since the copy failed counts as created, as "already exists" always does.
    const std::string folder = GetFolderPart(target);
    if (folder.empty() || !platform::PathExists(existing)) {
        platform::SetLastError(platform::CError(platform::ErrorKind::NotFound));
        return false;
    }
    return (platform::PathExists(folder) || CreateDirectoryPath(folder)) &&
           platform::CopyFileAtomic(existing, target, sourceKeepsModes, pending, scanned);
}

bool CopyFileWithPath(const std::string& existing, const std::string& target, bool liftReadOnly,
                      bool sourceKeepsModes, platform::PendingWriteTime* pending,
                      const platform::ScannedTarget* scanned) {
    const auto copy = [&] {
        return platform::CopyFileAtomic(existing, target, sourceKeepsModes, pending, scanned) ||
               CopyIntoNewFolder(existing, target, sourceKeepsModes, pending, scanned);
    };
    return CopyLifted(liftReadOnly, copy, target);
}

bool CopyFileWithPath(const HeldFile& existing, const HeldFile& target, bool liftReadOnly,
                      bool sourceKeepsModes, platform::PendingWriteTime* pending,
                      const platform::ScannedTarget* scanned) {
    const auto copy = [&] {
        return platform::CopyFileAtomic(*existing.folder, existing.name, *target.folder, target.name,
                                        sourceKeepsModes, pending, scanned);
    };
    return CopyLifted(liftReadOnly, copy, *target.folder, target.name);
}
