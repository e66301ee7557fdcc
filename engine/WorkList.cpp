// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/WorkList.h"

#include "res/Strings.h"
#include "support/AsciiCase.h"

int CompareTimes(const WorkItem& item, uint64_t resolution) {
    const uint64_t source = item.m_source.m_ftWrite;
    const uint64_t dest = item.m_dest.m_ftWrite;
    if (dest < source && source - dest >= resolution) {
        return 2;
    }
    if (dest > source && dest - source >= resolution) {
        return 1;
    }
    return 0;
}

void BackupRule(WorkItem& item, uint64_t resolution) {
    switch (item.m_nKind) {
        case KindBoth:
            switch (CompareTimes(item, resolution)) {
                case 2:
                    item.m_nFlags |= WorkBackup | WorkClearArchive;
                    if (item.m_source.m_nReadOnly != 0) {
                        item.m_nFlags |= WorkSourceReadOnly;
                    }
                    break;
                case 1:
                    item.m_nFlags |= WorkUnknown;
                    break;
                default:
                    item.m_nFlags |= WorkSame | WorkClearArchive;
                    break;
            }
            break;
        case KindNoDest:
            item.m_nFlags |= WorkCreate | WorkClearArchive;
            break;
        case KindNoSource:
            item.m_nFlags |= WorkUnknown;
            break;
        default:
            // A kind no builder makes cannot be decided.
            item.m_nFlags |= WorkUnknown;
            break;
    }
}

void KeepFolderSettingsOutOfSource(WorkItem& item) {
    if (!(item.m_nFlags & WorkSynchronize)) {
        return;
    }
    const std::string_view name = item.m_dest.m_strName.View();
    const size_t slash = name.rfind('/');
    // Ignoring case: a medium that ignores it gives the file back in any spelling.
    if (EqualIgnoringCase(slash == std::string_view::npos ? name : name.substr(slash + 1), res::kFolderFile)) {
        item.m_nFlags = (item.m_nFlags & ~(WorkSynchronize | WorkClearArchive | WorkDestReadOnly)) | WorkNotToSource;
    }
}

void SynchronizeRule(WorkItem& item, uint64_t resolution) {
    switch (item.m_nKind) {
        case KindBoth:
            switch (CompareTimes(item, resolution)) {
                case 1:
                    item.m_nFlags |= WorkSynchronize | WorkClearArchive;
                    if (item.m_dest.m_nReadOnly != 0) {
                        item.m_nFlags |= WorkDestReadOnly;
                    }
                    break;
                case 2:
                    BackupRule(item, resolution);
                    break;
                default:
                    item.m_nFlags |= WorkSame | WorkClearArchive;
                    break;
            }
            break;
        case KindNoDest:
            BackupRule(item, resolution);
            break;
        case KindNoSource:
            item.m_nFlags |= WorkSynchronize | WorkClearArchive;
            break;
        default:
            item.m_nFlags |= WorkUnknown;
            break;
    }
}
