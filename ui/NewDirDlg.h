// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The new-folder dialog (template 137): asks for one name and creates that folder in the base folder.
// User-interface thread only.

#include <string>

#include <QDialog>

class QLineEdit;
class QPushButton;

class CNewDirDlg final : public QDialog {
    Q_OBJECT
  public:
    // basePath: the folder to create in, as bytes; a missing trailing "/" is supplied.
    explicit CNewDirDlg(const std::string& basePath, QWidget* parent = nullptr);
    ~CNewDirDlg() override;

    // Ends with Accepted after the folder was created. On failure shows "Cannot create directory: " and
    // the system's text, creates nothing and stays open.
    void accept() override;

    // Enables OK exactly when the name is valid, not empty and not taken in the base folder.
    void OnChangeName();

    const std::string m_strBasePath;  // ends with "/"

  private:
    QPushButton* m_btnOK = nullptr;  // control 1
    QLineEdit* m_edName = nullptr;   // control 1021
};
