// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FileOps.h"

#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/Error.h"

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

}  // namespace

int ChangeAttributes(const std::string& path, uint32_t mask, int mode) {
    return ChangeAttributesOf(mask, mode, path);
}

int ChangeAttributes(const platform::CFolder& folder, const std::string& name, uint32_t mask, int mode) {
    return ChangeAttributesOf(mask, mode, folder, name);
}

bool LiftReadOnly(const platform::CFolder& folder, const std::string& name, bool liftReadOnly) {
    return liftReadOnly && ChangeAttributes(folder, name, platform::kAttrReadOnly, AttrTest) == 1 &&
           ChangeAttributes(folder, name, platform::kAttrReadOnly, AttrRemove) != 0;
}

bool CopyFileWithPath(const HeldFile& existing, const HeldFile& target, bool liftReadOnly,
                      bool sourceKeepsModes, platform::PendingWriteTime* pending,
                      const platform::ScannedTarget* scanned) {
    const platform::CFolder& folder = *target.folder;
    const bool lifted = LiftReadOnly(folder, target.name, liftReadOnly);
    const bool copied = platform::CopyFileAtomic(*existing.folder, existing.name, folder, target.name,
                                                 sourceKeepsModes, pending, scanned);
    const platform::CError copyError = copied ? platform::CError() : platform::LastError();
    if (lifted) {
        const bool restored = ChangeAttributes(folder, target.name, platform::kAttrReadOnly, AttrAdd) != 0;
        if (!copied) {
            // The copy's failure is what the user must read, not a later one.
            platform::SetLastError(copyError);
        }
        return copied && restored;
    }
    return copied;
}
