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
    const FileEntry* Find(const std::string& name) const {
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
    size_t Hash(const std::string& name) const {
        return std::hash<std::string>{}(name) & (m_slots.size() - 1);
    }

    const FileList& m_files;
    std::vector<uint32_t> m_slots;  // 0: empty; else position + 1
};

// Fills counterpart with the other side's details for name. The other scan's answer for the exact name
// is reused; only a miss asks the file system. False when no counterpart exists.
bool FindCounterpart(const CScanIndex& index, const CDirScanner& side, const std::string& name,
                     const std::string& path, FileEntry& counterpart) {
    if (const FileEntry* hit = index.Find(name)) {
        counterpart = *hit;
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
    const CScanIndex sourceIndex(source.m_files);
    const CScanIndex destIndex(dest.m_files);
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
