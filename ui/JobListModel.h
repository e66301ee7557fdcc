// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A read-only table over a built worklist: one row per item, read straight from the builder on demand
// (no copy, no row objects), so a list of a million items opens at once. User-interface thread only;
// the builder must not change while the model exists.

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

class CWorkListBuilder;
struct WorkItem;

class CJobListModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    // builder is not owned and outlives the model; mode is the run's RunMode (3 and 4 prefix every
    // operation text).
    CJobListModel(const CWorkListBuilder* builder, int mode, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The texts of one item's three columns: source name, destination name, operation.
    static QString SourceText(const WorkItem& item);
    static QString DestText(const WorkItem& item);
    static QString OperationText(const WorkItem& item, int mode);
    // Why an undecided item is undecided, in the user's terms, and what resolves it; clash: its name
    // clashes with another by letter case.
    static QString UndecidedReason(const WorkItem& item, bool clash);
    // "45 seconds", "3 minutes", "5 hours", "2 days": a span of file-time units (100 ns), rounded down.
    static QString SpanText(uint64_t ticks);

  private:
    const CWorkListBuilder* const m_pBuilder;
    const int m_nMode;
    std::vector<uint32_t> m_clashes;  // the builder's, sorted
};
