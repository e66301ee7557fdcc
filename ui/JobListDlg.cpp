// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/JobListDlg.h"

#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "support/Reg.h"
#include "ui/DialogLayout.h"
#include "ui/JobListModel.h"

#include <QHeaderView>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kColumnWidths[] = {150, 150, 100};  // pixels, as shares of the list's width
// The dialog's last size, in a section that readers of the other settings pass over.
constexpr const char* kSizeSection = "JobList";

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
        // An undecided row says why wherever the pointer rests on it.
        const QString tip = index.data(Qt::ToolTipRole).toString();
        const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
        if (event->type() == QEvent::ToolTip &&
            (tip != text || IsCut(view, text, option.rect.width(), margin))) {
            QToolTip::showText(event->globalPos(), tip, view);
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

    m_list->installEventFilter(this);
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_F3), QKeySequence(QKeySequence::Find)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &CJobListDlg::NextUndecided);
    }
    // The size the person gave the list last time, never smaller than the layout's nor than the screen.
    CReg reg(CReg::Read, kSizeSection, res::kSettingsFile);
    int width = 0;
    int height = 0;
    reg.ExchangeInt("Width", 0, width);
    reg.ExchangeInt("Height", 0, height);
    if (width > 0 && height > 0) {
        QSize wanted = QSize(width, height).expandedTo(m_initialSize);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            wanted = wanted.boundedTo(screen->availableGeometry().size()).expandedTo(m_initialSize);
        }
        resize(wanted);
    }
}

void CJobListDlg::done(int result) {
    CReg reg(CReg::Write, kSizeSection, res::kSettingsFile);
    int width = this->width();
    int height = this->height();
    reg.ExchangeInt("Width", 0, width);
    reg.ExchangeInt("Height", 0, height);
    QDialog::done(result);
}

void CJobListDlg::GoToRow(int row) {
    if (row < 0 || row >= m_pModel->rowCount()) {
        return;
    }
    const int column = std::max(0, m_list->currentIndex().column());
    const QModelIndex index = m_pModel->index(row, column);
    m_list->setCurrentIndex(index);
    m_list->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void CJobListDlg::NextUndecided() {
    if (m_undecided.empty()) {
        return;
    }
    const int current = m_list->currentIndex().isValid() ? m_list->currentIndex().row() : -1;
    const auto next = std::upper_bound(m_undecided.begin(), m_undecided.end(), current);
    GoToRow(next == m_undecided.end() ? m_undecided.front() : *next);
}

void CJobListDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_undecided.empty()) {
        m_list->setFocus(Qt::OtherFocusReason);
        // Once the list knows its height: the row in the middle of it.
        QTimer::singleShot(0, this, [this] {
            m_list->scrollTo(m_list->currentIndex(), QAbstractItemView::PositionAtCenter);
        });
    }
}

bool CJobListDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ShiftModifier | Qt::AltModifier));
        if (plain && (key->key() == Qt::Key_Home || key->key() == Qt::Key_End)) {
            GoToRow(key->key() == Qt::Key_Home ? 0 : m_pModel->rowCount() - 1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
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

    for (size_t i = 0; i < count && i < static_cast<size_t>(m_pModel->rowCount()); ++i) {
        if (m_pBuilder->m_items[i].m_nFlags & WorkUnknown) {
            m_undecided.push_back(static_cast<int>(i));
        }
    }
    m_btnOK->setEnabled(m_undecided.empty());
    m_list->setAccessibleName(QStringLiteral("Job list"));
    auto* countLabel = DlgItem<QLabel>(this, res::IDC_UNDECIDED);
    countLabel->setWordWrap(true);
    countLabel->setText(QString::fromUtf8(res::kUndecidedCount).arg(m_undecided.size()));
    countLabel->setVisible(!m_undecided.empty());
    // The first problem is where the list opens.
    if (!m_undecided.empty()) {
        GoToRow(m_undecided.front());
    }

    // The template's size is where the dialog starts; from there it may grow.
    m_initialSize = size();
    m_listGeometry = m_list->geometry();
    QList<QWidget*> rightColumn = {countLabel};
    for (QPushButton* button : findChildren<QPushButton*>()) {
        rightColumn.append(button);
    }
    for (QWidget* widget : rightColumn) {
        m_rightColumn.append({widget, QPoint(width() - widget->x(), widget->y())});
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
    // The operation is what the person checks: "CheckOUT {synchronize}" is never cut while the names
    // keep at least their share of the layout's width.
    WorkItem longest;
    int operation = header->fontMetrics().horizontalAdvance(QString::fromUtf8(res::kOperation));
    for (const int flags : {int(WorkSynchronize), int(WorkUnknown)}) {
        longest.m_nFlags = flags;
        operation =
            std::max(operation,
                     m_list->fontMetrics().horizontalAdvance(CJobListModel::OperationText(longest, m_nMode)));
    }
    operation += 4 * (m_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1);
    const int names = std::max(
        available / 2, available - std::max(operation, available * kColumnWidths[columns - 1] / shares));
    for (int column = 0; column + 1 < columns; ++column) {
        header->resizeSection(column, names * kColumnWidths[column] / (shares - kColumnWidths[columns - 1]));
    }
}

void CJobListDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_initialSize.isEmpty()) {
        return;  // still being built
    }
    const QSize grown = size() - m_initialSize;
    m_list->setGeometry(m_listGeometry.adjusted(0, 0, grown.width(), grown.height()));
    for (const auto& [widget, offset] : m_rightColumn) {
        widget->move(width() - offset.x(), offset.y());
    }
    FitColumns();
}
