// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The modal job list: every planned item of a run's worklist with its operation, confirmed with OK or
// abandoned with Cancel. OK is refused while any item is undecided. User-interface thread only.

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

class CJobListModel;
class CWorkListBuilder;
class QPushButton;
class QTableView;

class CJobListDlg final : public QDialog {
    Q_OBJECT

  public:
    // builder is not owned and must outlive the dialog unchanged; mode is the run's RunMode. The dialog
    // is filled at once: caption "Job List (n) files", one row per item, OK enabled only when no item
    // is undecided. exec() returns QDialog::Accepted (1, as IDOK) only when the user confirmed.
    CJobListDlg(const CWorkListBuilder* builder, int mode, QWidget* parent = nullptr);
    ~CJobListDlg() override;

    const CWorkListBuilder* const m_pBuilder;
    const int m_nMode;
    QPushButton* m_btnOK = nullptr;  // id 1
    QTableView* m_list = nullptr;    // id 1006

    // Makes the next undecided row after the current one (from the top after the last) current,
    // selected and visible; nothing when no row is undecided.
    void NextUndecided();

    void done(int result) override;

  protected:
    // The list takes every pixel the dialog grows by; the buttons keep their place at the right edge.
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Home and End reach the first and the last row, not the first and last column.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnInitDialog();
    // Shares the list's width among the columns: the operation column as wide as its longest text, the
    // two name columns the rest in equal parts, as far as the list is wide enough.
    void FitColumns();
    void GoToRow(int row);

    QSize m_initialSize;  // the dialog's size from its template: the smallest it may become
    QRect m_listGeometry;
    // The buttons and the count of undecided rows, each with its position from the top-right corner.
    QList<QPair<QWidget*, QPoint>> m_rightColumn;

    CJobListModel* m_pModel = nullptr;  // child of the dialog
    std::vector<int> m_undecided;
};
