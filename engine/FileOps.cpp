// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FileOps.h"

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "support/PathUtil.h"

#include <algorithm>
#include <cerrno>

thread_local bool g_bAttrError = false;

int ChangeAttributes(const std::string& path, uint32_t mask, int mode) {
    g_bAttrError = false;
    if (mode == AttrAdd || mode == AttrRemove) {
        // One look at the file instead of a read followed by a write that reads again.
        if (!platform::ChangeAttributeBits(path, mask, mode == AttrAdd)) {
            g_bAttrError = true;
            return 0;
        }
        return 1;
    }
    uint32_t attributes = 0;
    if (!platform::GetAttributes(path, attributes)) {
        g_bAttrError = true;
        return 0;
    }
    if (mode == AttrTest) {
        return (attributes & mask) != 0 ? 1 : 0;
    }
    return 1;
}

bool CreateDirectoryPath(const std::string& path) {
    if (platform::CreateFolder(path)) {
        return true;
    }
    // Only an absolute path can be built up from the file-system root.
    if (path.size() < 2 || path.front() != '/') {
        return false;
    }
    std::string prefix = "/";
    size_t i = 1;
    while (i < path.size()) {
        const size_t end = std::min(path.find('/', i), path.size());
        if (end > i) {
            prefix.append(path, i, end - i).push_back('/');
            // Failures here are judged by the final attempt, which reports the one that matters.
            (void)platform::CreateFolder(prefix);
        }
        i = end + 1;
    }
    return platform::CreateFolder(path) || platform::LastError() == EEXIST;
}

bool CopyIntoNewFolder(const std::string& existing, const std::string& target, bool sourceKeepsModes,
                       platform::PendingWriteTime* pending, const platform::ScannedTarget* scanned) {
    if (platform::LastError() != ENOENT) {
        return false;
    }
    // ENOENT also means a vanished source; only a missing target folder is worth creating. A folder that
    // another run made since the copy failed counts as created, as "already exists" always does.
    const std::string folder = GetFolderPart(target);
    if (folder.empty() || !platform::PathExists(existing)) {
        platform::SetLastError(ENOENT);
        return false;
    }
    return (platform::PathExists(folder) || CreateDirectoryPath(folder)) &&
           platform::CopyFileAtomic(existing, target, sourceKeepsModes, pending, scanned);
}

bool CopyFileWithPath(const std::string& existing, const std::string& target, bool liftReadOnly,
                      bool sourceKeepsModes, platform::PendingWriteTime* pending,
                      const platform::ScannedTarget* scanned) {
    bool lifted = false;
    if (liftReadOnly && ChangeAttributes(target, platform::kAttrReadOnly, AttrTest) == 1) {
        lifted = ChangeAttributes(target, platform::kAttrReadOnly, AttrRemove) != 0;
    }

    const bool copied = platform::CopyFileAtomic(existing, target, sourceKeepsModes, pending, scanned) ||
                        CopyIntoNewFolder(existing, target, sourceKeepsModes, pending, scanned);
    const int copyError = copied ? 0 : platform::LastError();

    if (lifted) {
        const bool restored = ChangeAttributes(target, platform::kAttrReadOnly, AttrAdd) != 0;
        if (!copied) {
            // The copy's failure is what the user must read, not a later one.
            platform::SetLastError(copyError);
        }
        return copied && restored;
    }
    return copied;
}
