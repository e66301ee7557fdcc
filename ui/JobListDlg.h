#pragma once
// The modal job list: every planned item of a run's worklist with its operation, confirmed with OK or
// abandoned with Cancel. OK is refused while any item is undecided. User-interface thread only.

#include <QDialog>

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

  private:
    void OnInitDialog();

    CJobListModel* m_pModel = nullptr;  // child of the dialog
};
