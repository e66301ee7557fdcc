// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PathUtil.h"

#include <memory>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Folder.h"

namespace {

// The entries of a folder held open by handle, so that no caller's current directory is touched.
// False when the folder cannot be entered or listed; a link given as path is not entered.
bool ReadFolder(const std::string& path, std::vector<platform::DirEntry>& entries) {
    std::unique_ptr<platform::CFolder> folder = platform::CFolder::Open(path);
    return folder && folder->ReadEntries(entries);
}

}  // namespace

bool IsValidPathName(const std::string& text, bool allowSeparators) {
    for (char c : text) {
        switch (c) {
            case '/':
                if (!allowSeparators) {
                    return false;
                }
                break;
            // No drive letters and no second separator here: both stay forbidden even in a path.
            case ':':
            case '\\':
            case '*':
            case '?':
            case '"':
            case '<':
            case '>':
            case '|':
                return false;
            default:
                break;
        }
    }
    return true;
}

std::string GetCurrentFolder() {
    std::string folder = platform::CurrentFolder();
    NormalizeFolder(folder);
    return folder;
}

bool HasSubfolder(const std::string& path) {
    std::vector<platform::DirEntry> entries;
    if (!ReadFolder(path, entries)) {
        return false;
    }
    for (const platform::DirEntry& entry : entries) {
        if (entry.kind == platform::EntryKind::Folder) {
            return true;
        }
    }
    return false;
}

void NormalizeFolder(std::string& path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
}

std::string IntToText(long long value) {
    return std::to_string(value);
}

std::string_view GetExtension(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash != std::string_view::npos) {
        path.remove_prefix(slash + 1);
    }
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    return path.substr(dot + 1);
}
