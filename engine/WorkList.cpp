#include "engine/WorkList.h"

int CompareTimes(const WorkItem& item) {
    if (item.m_dest.m_ftWrite < item.m_source.m_ftWrite) {
        return 2;
    }
    if (item.m_dest.m_ftWrite > item.m_source.m_ftWrite) {
        return 1;
    }
    return 0;
}

void BackupRule(WorkItem& item) {
    item.m_nFlags |= WorkByBackupRule;
    switch (item.m_nKind) {
        case KindBoth:
            switch (CompareTimes(item)) {
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

void SynchronizeRule(WorkItem& item) {
    item.m_nFlags |= WorkBySyncRule;
    switch (item.m_nKind) {
        case KindBoth:
            switch (CompareTimes(item)) {
                case 1:
                    item.m_nFlags |= WorkSynchronize | WorkClearArchive;
                    if (item.m_dest.m_nReadOnly != 0) {
                        item.m_nFlags |= WorkDestReadOnly;
                    }
                    break;
                case 2:
                    BackupRule(item);
                    break;
                default:
                    item.m_nFlags |= WorkSame | WorkClearArchive;
                    break;
            }
            break;
        case KindNoDest:
            BackupRule(item);
            break;
        case KindNoSource:
            item.m_nFlags |= WorkSynchronize | WorkClearArchive;
            break;
        default:
            item.m_nFlags |= WorkUnknown;
            break;
    }
}
