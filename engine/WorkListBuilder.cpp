#include "engine/WorkListBuilder.h"

#include "engine/DirScanner.h"
#include "engine/Progress.h"
#include "platform/FileSystem.h"
#include "res/Strings.h"

#include <string_view>
#include <unordered_map>

namespace {

// Name -> entry of one finished scan. The views point into the scanner's list, which no longer changes.
using ScanIndex = std::unordered_map<std::string_view, const FileEntry*>;

ScanIndex IndexOf(const FileList& files) {
    ScanIndex index;
    index.reserve(files.size());
    for (const FileEntry& entry : files) {
        index.emplace(entry.m_strName, &entry);
    }
    return index;
}

// Fills counterpart with the other side's details for name. The other scan's answer for the exact name
// is reused; only a miss asks the file system. False when no counterpart exists.
bool FindCounterpart(const ScanIndex& index, const CDirScanner& side, const std::string& name,
                     const std::string& path, FileEntry& counterpart) {
    if (const auto hit = index.find(name); hit != index.end()) {
        counterpart = *hit->second;
        return true;
    }
    if (!platform::PathExists(path)) {
        return false;
    }
    ReadFileInfo(counterpart, path, side.m_nRootLength);
    return true;
}

}  // namespace

CWorkListBuilder::CWorkListBuilder(const CDirScanner& source, const CDirScanner& dest, IProgress* progress)
    : m_hProgress(progress), m_pSource(&source), m_pDest(&dest) {
    const ScanIndex sourceIndex = IndexOf(source.m_files);
    const ScanIndex destIndex = IndexOf(dest.m_files);
    m_items.reserve(source.m_files.size());
    std::string path;

    ProgressStart(m_hProgress, 0, static_cast<int>(source.m_files.size()) - 1, res::kCreatingWorklist1);
    int step = 0;
    for (const FileEntry& entry : source.m_files) {
        WorkItem item;
        item.m_source = entry;
        path.assign(dest.m_strRoot).append(entry.m_strName);
        if (FindCounterpart(destIndex, dest, entry.m_strName, path, item.m_dest)) {
            // On a file system that ignores case both sides carry the source's form of the name.
            item.m_dest.m_strName = entry.m_strName;
            item.m_nKind = KindBoth;
        } else {
            item.m_dest.m_strName = entry.m_strName;
            item.m_nKind = KindNoDest;
        }
        m_items.push_back(std::move(item));
        ProgressStep(m_hProgress, path, step);
    }

    ProgressStart(m_hProgress, 0, static_cast<int>(dest.m_files.size()) - 1, res::kCreatingWorklist2);
    step = 0;
    for (const FileEntry& entry : dest.m_files) {
        path.assign(source.m_strRoot).append(entry.m_strName);
        FileEntry sourceSide;
        // An existing source file was paired by the first pass; it is still read, so that one that
        // cannot be read stops the build as it would have there.
        if (!FindCounterpart(sourceIndex, source, entry.m_strName, path, sourceSide)) {
            WorkItem item;
            item.m_nKind = KindNoSource;
            item.m_source.m_strName = entry.m_strName;
            item.m_dest = entry;
            m_items.push_back(std::move(item));
        }
        ProgressStep(m_hProgress, path, step);
    }
}

void CWorkListBuilder::ApplyRunMode(int mode) {
    for (WorkItem& item : m_items) {
        item.m_nFlags = 0;
        switch (mode) {
            case RunBackup:
                BackupRule(item);
                break;
            case RunSynchronize:
            case RunCheckIn:
            case RunCheckOut:
                SynchronizeRule(item);
                break;
            default:
                item.m_nFlags = WorkUnknown;
                break;
        }
    }
}
