#include "engine/DirScanner.h"

#include "engine/GenericException.h"
#include "engine/Progress.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "support/PathUtil.h"

#include <cerrno>

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// The error of a platform call that failed; never 0, so a failure can never pass for success.
int FailureCode() {
    const int err = platform::LastError();
    return err != 0 ? err : EIO;
}

// Fills the time and attribute fields of entry from details already read. Returns 0, or the errno that
// refuses the entry (the caller builds the message, so the hot path forms no full path).
int FillFileEntry(FileEntry& entry, const platform::FileInfo& info) {
    switch (info.kind) {
        case platform::EntryKind::Folder:
            return EISDIR;
        case platform::EntryKind::Other:
            // A pipe, socket or device holds no file to back up, and opening one may block.
            return ENOTSUP;
        case platform::EntryKind::File:
            // Reading the contents is what a copy needs; the check stands in for opening the file.
            if (!info.readable) {
                return EACCES;
            }
            break;
        case platform::EntryKind::Link:
            // A link is copied as a link: its target text is always readable.
            break;
    }
    entry.m_ftWrite = info.writeTime;
    entry.m_nReadOnly = info.readOnly ? 1 : 0;
    entry.m_nArchive = info.archive ? 0x20 : 0;
    return 0;
}

}  // namespace

void MakeAbsoluteFolder(std::string& folder) {
    if (!folder.empty() && folder.front() != '/') {
        std::string current = platform::CurrentFolder();
        NormalizeFolder(current);
        folder.insert(0, current);
    }
    NormalizeFolder(folder);
}

int ReadFileInfo(FileEntry& entry, const std::string& fullPath, int rootLength) {
    const size_t cut = rootLength > 0 ? static_cast<size_t>(rootLength) : 0;
    entry.m_strName = cut < fullPath.size() ? fullPath.substr(cut) : std::string();
    platform::FileInfo info;
    if (!platform::StatPath(fullPath, info)) {
        RaisePathError(fullPath, FailureCode());
    }
    if (const int err = FillFileEntry(entry, info)) {
        RaisePathError(fullPath, err);
    }
    return 0;
}

CDirScanner::CDirScanner(const std::string& root, const std::string& ignore, IProgress* progress,
                         bool readArchive)
    : m_hProgress(progress),
      m_strIgnoreLower(LowerAscii(ignore)),
      m_ignore(ignore),
      m_bReadArchive(readArchive) {
    m_nError = 0;
    m_nDepth = 0;
    m_strRoot = root;
    MakeAbsoluteFolder(m_strRoot);

    // The root is listed once: the same listing counts the top-level folders and is then scanned.
    // The root itself may be reached through a link (the trailing "/" follows it); links below it never are.
    // A root that may be listed but not entered counts as one that cannot be entered.
    platform::FileInfo rootInfo;
    std::unique_ptr<platform::CFolder> rootFolder;
    if (platform::StatPath(m_strRoot, rootInfo, false) && rootInfo.kind == platform::EntryKind::Folder &&
        rootInfo.readable) {
        rootFolder = platform::CFolder::Open(m_strRoot);
    }
    std::vector<platform::DirEntry> entries;
    if (rootFolder && !rootFolder->ReadEntries(entries)) {
        entries.clear();
    }
    m_nTopFolders = 0;
    for (const platform::DirEntry& e : entries) {
        if (e.kind == platform::EntryKind::Folder) {
            ++m_nTopFolders;
        }
    }

    m_nProgressPos = 1;
    ProgressStart(m_hProgress, 1, m_nTopFolders, root);
    m_nRootLength = static_cast<int32_t>(m_strRoot.size());

    if (!rootFolder) {
        SetError(1);  // throws "Directory Error"
        return;
    }
    m_strPrefix.clear();
    ScanEntries(*rootFolder, entries);
}

void CDirScanner::ScanEntries(const platform::CFolder& folder,
                              const std::vector<platform::DirEntry>& entries) {
    ++m_nDepth;
    platform::FileInfo info;
    for (const platform::DirEntry& e : entries) {
        switch (e.kind) {
            case platform::EntryKind::Folder: {
                if (m_nDepth == 1) {
                    ProgressStep(m_hProgress, e.name, m_nProgressPos);
                }
                // A folder that may be listed but not entered opens all the same; its files could not
                // be read, so it counts as one that cannot be entered.
                std::unique_ptr<platform::CFolder> child;
                if (folder.Stat(e.name, info, false) && info.kind == platform::EntryKind::Folder &&
                    info.readable) {
                    child = folder.OpenChild(e.name);
                }
                if (!child) {
                    SetError(1);  // throws "Directory Error"
                    break;
                }
                std::vector<platform::DirEntry> childEntries;
                if (!child->ReadEntries(childEntries)) {
                    break;  // entered but not listable: contributes nothing
                }
                const size_t prefixLength = m_strPrefix.size();
                m_strPrefix += e.name;
                m_strPrefix += '/';
                ScanEntries(*child, childEntries);
                m_strPrefix.resize(prefixLength);
                break;
            }
            case platform::EntryKind::File:
            case platform::EntryKind::Link: {
                // A copy killed on a file system without unnamed files leaves its hidden file: not ours
                // to back up (it would block every later backup) nor to synchronize into the other tree.
                if (m_ignore.IsIgnored(e.name) || platform::IsTemporaryName(e.name)) {
                    break;
                }
                FileEntry entry;
                entry.m_strName.reserve(m_strPrefix.size() + e.name.size());
                entry.m_strName = m_strPrefix;
                entry.m_strName += e.name;
                const int err =
                    folder.Stat(e.name, info, m_bReadArchive) ? FillFileEntry(entry, info) : FailureCode();
                if (err != 0) {
                    RaisePathError(m_strRoot + entry.m_strName, err);
                }
                m_files.push_back(std::move(entry));
                break;
            }
            case platform::EntryKind::Other:
                break;  // pipes, sockets and devices are not files to back up
        }
    }
    --m_nDepth;
}
