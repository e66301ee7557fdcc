// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/WorkListBuilder.h"

#include "engine/DirScanner.h"
#include "engine/Progress.h"
#include "platform/FileSystem.h"
#include "support/Utf8.h"
#include "res/Strings.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace {

// Name -> entries of one finished scan: an open-addressing table of positions into the scanner's list,
// which no longer changes. Four bytes a slot at half load keep a million-file run small, where a node
// per name would cost more than the entry itself. Keys are the names themselves, or, when a tree
// ignores case, the names as such a medium compares them (then several entries may share a key).
class CScanIndex {
  public:
    CScanIndex(const FileList& files, bool foldCase) : m_files(files), m_bFoldCase(foldCase) {
        size_t slots = 2;
        while (slots < files.size() * 2) {
            slots *= 2;
        }
        m_slots.assign(slots, 0);
        if (m_bFoldCase) {
            m_folded.reserve(files.size());
            for (const FileEntry& entry : files) {
                m_folded.push_back(FoldCase(entry.m_strName));
            }
        }
        for (size_t i = 0; i < files.size(); ++i) {
            size_t slot = Hash(Key(i));
            while (m_slots[slot] != 0) {
                slot = (slot + 1) & (m_slots.size() - 1);
            }
            m_slots[slot] = static_cast<uint32_t>(i + 1);
        }
    }

    // Calls found(position) for every entry whose key is key.
    template <typename Found>
    void ForEach(std::string_view key, Found found) const {
        for (size_t slot = Hash(key);; slot = (slot + 1) & (m_slots.size() - 1)) {
            const uint32_t position = m_slots[slot];
            if (position == 0) {
                return;
            }
            if (Key(position - 1) == key) {
                found(static_cast<size_t>(position - 1));
            }
        }
    }

    size_t Count(std::string_view key) const {
        size_t count = 0;
        ForEach(key, [&count](size_t) { ++count; });
        return count;
    }

  private:
    std::string_view Key(size_t position) const {
        return m_bFoldCase ? std::string_view(m_folded[position]) : m_files[position].m_strName.View();
    }
    size_t Hash(std::string_view key) const {
        return std::hash<std::string_view>{}(key) & (m_slots.size() - 1);
    }

    const FileList& m_files;
    const bool m_bFoldCase;
    std::vector<std::string> m_folded;  // only when folding
    std::vector<uint32_t> m_slots;      // 0: empty; else position + 1
};

}  // namespace

CWorkListBuilder::CWorkListBuilder(CDirScanner& source, CDirScanner& dest, IProgress* progress)
    : m_hProgress(progress),
      m_pSource(&source),
      m_pDest(&dest),
      m_nTimeResolution(std::max(source.m_medium.timeResolution, dest.m_medium.timeResolution)) {
    FileList& sourceFiles = source.m_files;
    FileList& destFiles = dest.m_files;
    // Where one tree ignores case, a name pairs with its namesake of any case; where both tell case
    // apart, only the exact name does (and the file system is asked for anything else).
    const bool foldCase = source.m_medium.ignoresCase || dest.m_medium.ignoresCase;
    const CScanIndex destIndex(destFiles, foldCase);
    // Only needed to find two source names that one medium would make one file.
    std::optional<CScanIndex> sourceIndex;
    if (foldCase) {
        sourceIndex.emplace(sourceFiles, true);
    }
    // Position + 1 of the item that took a destination entry over in the first pass, 0 for none. Such
    // an entry's name has moved into its item and is never looked up again.
    std::vector<uint32_t> takenBy(destFiles.size(), 0);
    // Room for every item the two passes can make; what stays unused is never touched, so costs nothing.
    m_items.reserve(sourceFiles.size() + destFiles.size());
    std::string path;

    ProgressStart(m_hProgress, 0, static_cast<int>(sourceFiles.size()) - 1, res::kCreatingWorklist1);
    int step = 0;
    for (FileEntry& entry : sourceFiles) {
        WorkItem item;
        // Only a folded key is a new string: a million-file run on ext4 allocates nothing here.
        const std::string folded = foldCase ? FoldCase(entry.m_strName.View()) : std::string();
        const std::string_view key = foldCase ? std::string_view(folded) : entry.m_strName.View();
        // A namesake of the exact name first, then one that differs in case only.
        size_t hit = destFiles.size();
        size_t namesakes = 0;
        destIndex.ForEach(key, [&](size_t position) {
            ++namesakes;
            if (takenBy[position] == 0 &&
                (hit == destFiles.size() || destFiles[position].m_strName == entry.m_strName)) {
                hit = position;
            }
        });
        if (foldCase && (namesakes > 1 || sourceIndex->Count(key) > 1)) {
            m_clashes.push_back(static_cast<uint32_t>(m_items.size()));
        }
        item.m_source = std::move(entry);
        const FileName& name = item.m_source.m_strName;
        path.assign(dest.m_strRoot).append(name);
        if (hit != destFiles.size()) {
            // The other scan's answer; each side keeps its own spelling, which its own tree knows.
            item.m_dest = std::move(destFiles[hit]);
            destFiles[hit].m_strName.clear();
            if (item.m_dest.m_strName == name) {
                item.m_dest.m_strName = name;  // one buffer for both sides
            }
            takenBy[hit] = static_cast<uint32_t>(m_items.size() + 1);
            item.m_nKind = KindBoth;
        } else {
            if (platform::PathExists(path)) {
                // Not under this name: the file system decides, e.g. one that ignores case.
                ReadFileInfo(item.m_dest, path, dest.m_nRootLength);
                item.m_nKind = KindBoth;
            } else {
                item.m_nKind = KindNoDest;
            }
            item.m_dest.m_strName = name;  // the source's form of the name
        }
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
        // A source namesake that took another destination name: two names here, one file there.
        const bool clash = foldCase && sourceIndex->Count(FoldCase(entry.m_strName.View())) > 0;
        // No source file of this name exists (the first pass would have taken the entry), but a file
        // system that ignores case may still have one: it is read, so one that cannot be read stops the
        // build, and its pair was listed by the first pass.
        if (!clash && platform::PathExists(path)) {
            FileEntry sourceSide;
            ReadFileInfo(sourceSide, path, source.m_nRootLength);
        } else {
            if (clash) {
                m_clashes.push_back(static_cast<uint32_t>(m_items.size()));
            }
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

std::string CWorkListBuilder::CaseClash() const {
    if (m_clashes.empty()) {
        return std::string();
    }
    // The names of the first clash in the tree that holds two of them.
    const std::string key = FoldCase(m_items[m_clashes.front()].m_source.m_strName.View());
    std::vector<std::string> sourceNames;
    std::vector<std::string> destNames;
    for (const uint32_t index : m_clashes) {
        const WorkItem& item = m_items[index];
        if (FoldCase(item.m_source.m_strName.View()) != key) {
            continue;
        }
        if (item.m_nKind != KindNoSource) {
            sourceNames.push_back(m_pSource->m_strRoot + item.m_source.m_strName);
        }
        if (item.m_nKind != KindNoDest) {
            destNames.push_back(m_pDest->m_strRoot + item.m_dest.m_strName);
        }
    }
    const std::vector<std::string>& names = sourceNames.size() > 1 ? sourceNames : destNames;
    return names.size() > 1 ? names[0] + res::kCaseClashAnd + names[1] + res::kCaseClashEnd
                            : names.front() + res::kCaseClashEnd;
}

void CWorkListBuilder::ApplyRunMode(int mode) {
    for (WorkItem& item : m_items) {
        item.m_nFlags = 0;
        switch (mode) {
            case RunBackup:
                BackupRule(item, m_nTimeResolution);
                break;
            case RunSynchronize:
            case RunCheckIn:
            case RunCheckOut:
                SynchronizeRule(item, m_nTimeResolution);
                KeepFolderSettingsOutOfSource(item);
                break;
            default:
                item.m_nFlags = WorkUnknown;
                break;
        }
    }
    // Neither of two names that one tree can keep only as one file may be copied over the other.
    for (const uint32_t index : m_clashes) {
        WorkItem& item = m_items[index];
        item.m_nFlags = (item.m_nFlags & (WorkByBackupRule | WorkBySyncRule)) | WorkUnknown;
    }
}
