// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/JobListDlg.h"

#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "res/Resources.h"
#include "ui/DialogLayout.h"
#include "ui/JobListModel.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kColumnWidths[] = {150, 150, 100};  // pixels, as shares of the list's width

// True when text, in the widget's font, does not fit into width pixels less margin.
bool IsCut(const QWidget* widget, const QString& text, int width, int margin) {
    return widget->fontMetrics().horizontalAdvance(text) > width - margin;
}

// Cells show their full text as a tooltip only when they show it cut.
class CCutTextDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        const QString text = index.data(Qt::DisplayRole).toString();
        const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
        if (event->type() == QEvent::ToolTip && IsCut(view, text, option.rect.width(), margin)) {
            QToolTip::showText(event->globalPos(), text, view);
            return true;
        }
        QToolTip::hideText();
        event->ignore();
        return event->type() == QEvent::ToolTip;
    }
};

// Headers likewise: a long root folder is cut in a narrow column.
class CHeaderTips final : public QObject {
  public:
    explicit CHeaderTips(QHeaderView* header) : QObject(header), m_header(header) {
        header->viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip) {
            return QObject::eventFilter(watched, event);
        }
        auto* help = static_cast<QHelpEvent*>(event);
        const int section = m_header->logicalIndexAt(help->pos());
        const QString text =
            section < 0 ? QString() : m_header->model()->headerData(section, Qt::Horizontal).toString();
        const int margin = 2 * m_header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, m_header);
        if (section >= 0 && IsCut(m_header, text, m_header->sectionSize(section), margin)) {
            QToolTip::showText(help->globalPos(), text, m_header);
        } else {
            QToolTip::hideText();
        }
        return true;
    }

  private:
    QHeaderView* const m_header;
};

}  // namespace

CJobListDlg::CJobListDlg(const CWorkListBuilder* builder, int mode, QWidget* parent)
    : QDialog(parent), m_pBuilder(builder), m_nMode(mode) {
    BuildDialog(this, res::IDD_JOBLIST);
    m_btnOK = DlgItem<QPushButton>(this, res::IDOK);
    m_list = DlgItem<QTableView>(this, res::IDC_JOBLIST);
    Q_ASSERT(m_btnOK && m_list);
    OnInitDialog();
}

CJobListDlg::~CJobListDlg() = default;

void CJobListDlg::OnInitDialog() {
    m_btnOK->setEnabled(false);

    m_pModel = new CJobListModel(m_pBuilder, m_nMode, this);
    m_list->setModel(m_pModel);
    m_list->setSortingEnabled(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    QHeaderView* header = m_list->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    header->setTextElideMode(Qt::ElideRight);
    new CHeaderTips(header);
    m_list->setItemDelegate(new CCutTextDelegate(m_list));
    FitColumns();
    // Row heights are never measured per row: a list of a million items must open at once.
    QHeaderView* rows = m_list->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    rows->hide();

    const size_t count = m_pBuilder ? m_pBuilder->m_items.size() : 0;
    setWindowTitle(QStringLiteral("Job List (") + QString::number(count) + QStringLiteral(") files"));

    const bool undecided =
        m_pBuilder && std::any_of(m_pBuilder->m_items.begin(), m_pBuilder->m_items.end(),
                                  [](const WorkItem& item) { return (item.m_nFlags & WorkUnknown) != 0; });
    m_btnOK->setEnabled(!undecided);

    // The template's size is where the dialog starts; from there it may grow.
    m_initialSize = size();
    m_listGeometry = m_list->geometry();
    for (QPushButton* button : findChildren<QPushButton*>()) {
        m_buttonOffsets.append(QPoint(width() - button->x(), button->y()));
    }
    setMinimumSize(m_initialSize);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizeGripEnabled(true);
}

void CJobListDlg::FitColumns() {
    QHeaderView* header = m_list->horizontalHeader();
    const int columns = static_cast<int>(std::size(kColumnWidths));
    int shares = 0;
    for (const int width : kColumnWidths) {
        shares += width;
    }
    // Before the first show the viewport has no size yet: the frame's inside, less a scroll bar.
    const int available = m_list->contentsRect().width() -
                          m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
    for (int column = 0; column + 1 < columns; ++column) {
        header->resizeSection(column, available * kColumnWidths[column] / shares);
    }
}

void CJobListDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_initialSize.isEmpty()) {
        return;  // still being built
    }
    const QSize grown = size() - m_initialSize;
    m_list->setGeometry(m_listGeometry.adjusted(0, 0, grown.width(), grown.height()));
    const auto buttons = findChildren<QPushButton*>();
    for (qsizetype i = 0; i < buttons.size() && i < m_buttonOffsets.size(); ++i) {
        buttons[i]->move(width() - m_buttonOffsets[i].x(), m_buttonOffsets[i].y());
    }
}
