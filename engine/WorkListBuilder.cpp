// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/WorkListBuilder.h"

#include "engine/DirScanner.h"
#include "engine/Progress.h"
#include "platform/FileSystem.h"
#include "support/CaseRule.h"
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
// ignores case, the names folded so that every medium's namesakes share a key (and some that are not).
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
                m_folded.push_back(FoldCase(entry.m_strName, CaseRule::Any));
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

bool AnyIgnoresCase(const CDirScanner& scan) {
    return scan.m_medium.ignoresCase ||
           std::any_of(scan.m_mediaBelow.begin(), scan.m_mediaBelow.end(),
                       [](const MediumBelow& below) { return below.medium.ignoresCase; });
}

CaseRule RuleOf(const platform::Medium& medium) {
    return medium.ignoresCase ? medium.caseRule : CaseRule::Exact;
}

}  // namespace

CWorkListBuilder::Namesakes CWorkListBuilder::Compare(std::string_view sourceName, std::string_view destName,
                                                      std::string_view a, std::string_view b) const {
    if (a == b) {
        return Namesakes::Same;
    }
    Namesakes result = Namesakes::Apart;
    for (const CaseRule rule :
         {RuleOf(m_pSource->MediumOf(sourceName)), RuleOf(m_pDest->MediumOf(destName))}) {
        if (rule == CaseRule::Any) {
            // Its rule is not known: one name only where every known rule says so; else it may be one.
            const bool certain = FoldCase(a, CaseRule::ExFat) == FoldCase(b, CaseRule::ExFat) &&
                                 FoldCase(a, CaseRule::Ntfs) == FoldCase(b, CaseRule::Ntfs);
            result = std::max(result, certain ? Namesakes::Same : Namesakes::Doubt);
        } else if (rule != CaseRule::Exact && FoldCase(a, rule) == FoldCase(b, rule)) {
            result = std::max(result, Namesakes::Same);
        }
    }
    return result;
}

CWorkListBuilder::CWorkListBuilder(CDirScanner& source, CDirScanner& dest, IProgress* progress)
    : m_hProgress(progress),
      m_pSource(&source),
      m_pDest(&dest),
      m_nTimeResolution(std::max(source.m_medium.timeResolution, dest.m_medium.timeResolution)) {
    FileList& sourceFiles = source.m_files;
    FileList& destFiles = dest.m_files;
    // Where a medium of either tree ignores case, a name pairs with its namesake of any case that the
    // media of its folder make one; where all tell case apart, only the exact name does (and the file
    // system is asked for anything else).
    const bool foldCase = AnyIgnoresCase(source) || AnyIgnoresCase(dest);
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
    // Whether another source entry than self may be one file with name on either side.
    const auto sourceTwin = [&](size_t self, std::string_view key, std::string_view name) {
        bool twin = false;
        sourceIndex->ForEach(key, [&](size_t position) {
            twin = twin ||
                   (position != self && !sourceFiles[position].m_strName.empty() &&
                    Compare(name, name, sourceFiles[position].m_strName.View(), name) != Namesakes::Apart);
        });
        return twin;
    };

    ProgressStart(m_hProgress, 0, static_cast<int>(sourceFiles.size()) - 1, res::kCreatingWorklist1);
    int step = 0;
    for (size_t index = 0; index < sourceFiles.size(); ++index) {
        FileEntry& entry = sourceFiles[index];
        WorkItem item;
        // Only a folded key is a new string: a million-file run on ext4 allocates nothing here.
        const std::string folded = foldCase ? FoldCase(entry.m_strName.View(), CaseRule::Any) : std::string();
        const std::string_view key = foldCase ? std::string_view(folded) : entry.m_strName.View();
        // A namesake of the exact name first, then one that the media make one file with it.
        size_t hit = destFiles.size();
        size_t namesakes = 0;
        bool doubt = false;
        destIndex.ForEach(key, [&](size_t position) {
            const std::string_view name = entry.m_strName.View();
            const std::string_view other = takenBy[position] == 0
                                               ? destFiles[position].m_strName.View()
                                               : m_items[takenBy[position] - 1].m_dest.m_strName.View();
            const Namesakes match = foldCase ? Compare(name, other, name, other) : Namesakes::Same;
            if (match == Namesakes::Apart) {
                return;
            }
            ++namesakes;
            doubt = doubt || match == Namesakes::Doubt;
            if (takenBy[position] == 0 && match == Namesakes::Same &&
                (hit == destFiles.size() || destFiles[position].m_strName == entry.m_strName)) {
                hit = position;
            }
        });
        if (foldCase && (namesakes > 1 || doubt || sourceTwin(index, key, entry.m_strName.View()))) {
            m_clashes.push_back(static_cast<uint32_t>(m_items.size()));
        }
        if (foldCase) {
            item.m_source = entry;  // the second pass compares names with it
        } else {
            item.m_source = std::move(entry);
        }
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

    if (!foldCase) {
        FileList().swap(sourceFiles);
    }

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
        const bool clash =
            foldCase && sourceTwin(sourceFiles.size(), FoldCase(entry.m_strName.View(), CaseRule::Any),
                                   entry.m_strName.View());
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
    FileList().swap(sourceFiles);
    FileList().swap(destFiles);
}

uint64_t CWorkListBuilder::TimeResolution(const WorkItem& item) const {
    if (m_pSource->m_mediaBelow.empty() && m_pDest->m_mediaBelow.empty()) {
        return m_nTimeResolution;
    }
    return std::max(m_pSource->MediumOf(item.m_source.m_strName).timeResolution,
                    m_pDest->MediumOf(item.m_dest.m_strName).timeResolution);
}

bool CWorkListBuilder::KeepsModes(const WorkItem& item, bool destSide) const {
    return destSide ? m_pDest->MediumOf(item.m_dest.m_strName).keepsModes
                    : m_pSource->MediumOf(item.m_source.m_strName).keepsModes;
}

std::string CWorkListBuilder::CaseClash() const {
    if (m_clashes.empty()) {
        return std::string();
    }
    // The names of the first clash in the tree that holds two of them.
    const std::string key = FoldCase(m_items[m_clashes.front()].m_source.m_strName.View(), CaseRule::Any);
    std::vector<std::string> sourceNames;
    std::vector<std::string> destNames;
    for (const uint32_t index : m_clashes) {
        const WorkItem& item = m_items[index];
        if (FoldCase(item.m_source.m_strName.View(), CaseRule::Any) != key) {
            continue;
        }
        if (item.m_nKind != KindNoSource) {
            sourceNames.push_back(m_pSource->m_strRoot + item.m_source.m_strName);
        }
        if (item.m_nKind != KindNoDest) {
            destNames.push_back(m_pDest->m_strRoot + item.m_dest.m_strName);
        }
    }
    if (sourceNames.size() < 2 && destNames.size() < 2 && !sourceNames.empty() && !destNames.empty()) {
        // One name on each side that the media may make one file (a rule not known).
        return sourceNames[0] + res::kCaseClashAnd + destNames[0] + res::kCaseClashEnd;
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
                BackupRule(item, TimeResolution(item));
                break;
            case RunSynchronize:
            case RunCheckIn:
            case RunCheckOut:
                SynchronizeRule(item, TimeResolution(item));
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
        item.m_nFlags = WorkUnknown;
    }
}
