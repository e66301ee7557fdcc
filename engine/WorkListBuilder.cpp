#include "engine/WorkListBuilder.h"

#include "engine/DirScanner.h"
#include "engine/Progress.h"
#include "platform/FileSystem.h"
#include "res/Strings.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace {

// Name -> entry of one finished scan: an open-addressing table of positions into the scanner's list,
// which no longer changes. Four bytes a slot at half load keep a million-file run small, where a node
// per name would cost more than the entry itself.
class CScanIndex {
  public:
    explicit CScanIndex(const FileList& files) : m_files(files) {
        size_t slots = 2;
        while (slots < files.size() * 2) {
            slots *= 2;
        }
        m_slots.assign(slots, 0);
        for (size_t i = 0; i < files.size(); ++i) {
            size_t slot = Hash(files[i].m_strName);
            while (m_slots[slot] != 0) {
                slot = (slot + 1) & (m_slots.size() - 1);
            }
            m_slots[slot] = static_cast<uint32_t>(i + 1);
        }
    }

    // The entry with exactly this name, or null.
    const FileEntry* Find(const FileName& name) const {
        for (size_t slot = Hash(name);; slot = (slot + 1) & (m_slots.size() - 1)) {
            const uint32_t position = m_slots[slot];
            if (position == 0) {
                return nullptr;
            }
            if (m_files[position - 1].m_strName == name) {
                return &m_files[position - 1];
            }
        }
    }

  private:
    size_t Hash(std::string_view name) const {
        return std::hash<std::string_view>{}(name) & (m_slots.size() - 1);
    }

    const FileList& m_files;
    std::vector<uint32_t> m_slots;  // 0: empty; else position + 1
};

}  // namespace

CWorkListBuilder::CWorkListBuilder(CDirScanner& source, CDirScanner& dest, IProgress* progress)
    : m_hProgress(progress), m_pSource(&source), m_pDest(&dest) {
    FileList& sourceFiles = source.m_files;
    FileList& destFiles = dest.m_files;
    const CScanIndex destIndex(destFiles);
    // Position + 1 of the item that took a destination entry over in the first pass, 0 for none. Such
    // an entry's name has moved into its item and is never looked up again: names are unique per tree.
    std::vector<uint32_t> takenBy(destFiles.size(), 0);
    // Room for every item the two passes can make; what stays unused is never touched, so costs nothing.
    m_items.reserve(sourceFiles.size() + destFiles.size());
    std::string path;

    ProgressStart(m_hProgress, 0, static_cast<int>(sourceFiles.size()) - 1, res::kCreatingWorklist1);
    int step = 0;
    for (FileEntry& entry : sourceFiles) {
        WorkItem item;
        item.m_source = std::move(entry);
        const FileName& name = item.m_source.m_strName;
        path.assign(dest.m_strRoot).append(name);
        if (const FileEntry* hit = destIndex.Find(name)) {
            // The other scan's answer for the exact name.
            const size_t position = static_cast<size_t>(hit - destFiles.data());
            item.m_dest = std::move(destFiles[position]);
            destFiles[position].m_strName.clear();
            takenBy[position] = static_cast<uint32_t>(m_items.size() + 1);
            item.m_nKind = KindBoth;
        } else if (platform::PathExists(path)) {
            // Not under this exact name: the file system decides, e.g. one that ignores case.
            ReadFileInfo(item.m_dest, path, dest.m_nRootLength);
            item.m_nKind = KindBoth;
        } else {
            item.m_nKind = KindNoDest;
        }
        // Both sides carry the source's form of the name.
        item.m_dest.m_strName = name;
        m_items.push_back(std::move(item));
        ProgressStep(m_hProgress, path, step);
    }
    FileList().swap(sourceFiles);

    ProgressStart(m_hProgress, 0, static_cast<int>(destFiles.size()) - 1, res::kCreatingWorklist2);
    step = 0;
    for (size_t position = 0; position < destFiles.size(); ++position) {
        if (takenBy[position] != 0) {
            // Paired by the first pass under its exact name: that source file exists and was read there.
            path.assign(source.m_strRoot).append(m_items[takenBy[position] - 1].m_source.m_strName);
            ProgressStep(m_hProgress, path, step);
            continue;
        }
        FileEntry& entry = destFiles[position];
        path.assign(source.m_strRoot).append(entry.m_strName);
        // No source file of this exact name exists (the first pass would have taken the entry), but a
        // file system that ignores case may still have one: it is read, so one that cannot be read stops
        // the build, and its pair was listed by the first pass.
        if (platform::PathExists(path)) {
            FileEntry sourceSide;
            ReadFileInfo(sourceSide, path, source.m_nRootLength);
        } else {
            WorkItem item;
            item.m_nKind = KindNoSource;
            item.m_source.m_strName = entry.m_strName;
            item.m_dest = std::move(entry);
            m_items.push_back(std::move(item));
        }
        ProgressStep(m_hProgress, path, step);
    }
    FileList().swap(destFiles);
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
