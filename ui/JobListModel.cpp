// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/JobListModel.h"

#include "engine/DirScanner.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "res/Strings.h"
#include "ui/Text.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int kColumns = 3;

// Relative names and roots are bytes of the file system: shown, never converted back.
QString RootText(const CDirScanner* scanner) {
    return scanner ? FromBytes(scanner->m_strRoot) : QString();
}

}  // namespace

CJobListModel::CJobListModel(const CWorkListBuilder* builder, int mode, QObject* parent)
    : QAbstractTableModel(parent), m_pBuilder(builder), m_nMode(mode) {
    if (m_pBuilder) {
        m_clashes = m_pBuilder->m_clashes;
        std::sort(m_clashes.begin(), m_clashes.end());
    }
}

QString CJobListModel::SpanText(uint64_t ticks) {
    constexpr uint64_t kSecond = 10'000'000;
    const uint64_t seconds = ticks / kSecond;
    struct Unit {
        uint64_t seconds;
        const char* name;
    };
    // The largest unit of which the span holds at least two, so that "90 seconds" stays exact enough.
    for (const Unit& unit : {Unit{86400, "days"}, Unit{3600, "hours"}, Unit{60, "minutes"}}) {
        if (seconds >= 2 * unit.seconds) {
            return QString::number(seconds / unit.seconds) + u' ' + QString::fromLatin1(unit.name);
        }
    }
    return seconds == 1 ? QStringLiteral("1 second") : QString::number(seconds) + QStringLiteral(" seconds");
}

QString CJobListModel::UndecidedReason(const WorkItem& item, bool clash) {
    if (clash) {
        return QString::fromUtf8(res::kWhyCaseClash);
    }
    if (item.m_nKind == KindNoSource) {
        return QString::fromUtf8(res::kWhyNoSource);
    }
    if (item.m_nKind == KindBoth && item.m_dest.m_ftWrite > item.m_source.m_ftWrite) {
        return QString::fromUtf8(res::kWhyDestNewer)
            .arg(SpanText(item.m_dest.m_ftWrite - item.m_source.m_ftWrite));
    }
    return QString::fromUtf8(res::kWhyUnknown);
}

int CJobListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_pBuilder) {
        return 0;
    }
    return static_cast<int>(std::min<size_t>(m_pBuilder->m_items.size(), INT_MAX));
}

int CJobListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QString CJobListModel::SourceText(const WorkItem& item) {
    switch (item.m_nKind) {
        case KindBoth:
        case KindNoDest:
            return FromBytes(item.m_source.m_strName);
        case KindNoSource:
            return QString::fromUtf8(res::kNoSource);
        default:
            return QString::fromUtf8(res::kBug);
    }
}

QString CJobListModel::DestText(const WorkItem& item) {
    switch (item.m_nKind) {
        case KindBoth:
        case KindNoSource:
            return FromBytes(item.m_dest.m_strName);
        case KindNoDest:
            return QString::fromUtf8(res::kNoDestination);
        default:
            return QString::fromUtf8(res::kBug);
    }
}

QString CJobListModel::OperationText(const WorkItem& item, int mode) {
    QString text;
    if (mode == RunCheckIn) {
        text += QString::fromUtf8(res::kOpCheckIn);
    }
    if (mode == RunCheckOut) {
        text += QString::fromUtf8(res::kOpCheckOut);
    }
    if (item.m_nFlags & WorkUnknown) {
        text += QString::fromUtf8(res::kOpUnknown);
    }
    if (item.m_nFlags & WorkBackup) {
        text += QString::fromUtf8(res::kOpBackup);
    }
    if (item.m_nFlags & WorkSynchronize) {
        text += QString::fromUtf8(res::kOpSynchronize);
    }
    if (item.m_nFlags & WorkCreate) {
        text += QString::fromUtf8(res::kOpCreate);
    }
    return text;
}

QVariant CJobListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    const WorkItem& item = m_pBuilder->m_items[static_cast<size_t>(index.row())];
    if (role == Qt::ToolTipRole && (item.m_nFlags & WorkUnknown)) {
        const auto row = static_cast<uint32_t>(index.row());
        return UndecidedReason(item, std::binary_search(m_clashes.begin(), m_clashes.end(), row));
    }
    switch (index.column()) {
        case 0:
            return SourceText(item);
        case 1:
            return DestText(item);
        default:
            return OperationText(item, m_nMode);
    }
}

QVariant CJobListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case 0:
            return RootText(m_pBuilder ? m_pBuilder->m_pSource : nullptr);
        case 1:
            return RootText(m_pBuilder ? m_pBuilder->m_pDest : nullptr);
        case 2:
            return QString::fromUtf8(res::kOperation);
        default:
            return {};
    }
}
