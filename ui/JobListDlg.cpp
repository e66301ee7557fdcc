#include "ui/JobListDlg.h"

#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "res/Resources.h"
#include "ui/DialogLayout.h"
#include "ui/JobListModel.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

namespace {

constexpr int kColumnWidths[] = {150, 150, 100};  // pixels

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
    header->setStretchLastSection(false);
    for (int column = 0; column < static_cast<int>(std::size(kColumnWidths)); ++column) {
        header->resizeSection(column, kColumnWidths[column]);
    }
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
}
