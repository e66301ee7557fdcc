// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About dialog (template 100): product name and version, rights line, the project's addresses as
// links, and the version table's comment. User-interface thread only.

#include <string>

#include <QDialog>

class CAboutDlg final : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    // The texts of 1022 and 1023 from the version table: "Tandrel Version 2.0 (build 011)"; the rights
    // line, an empty line, the mail address, the web address, an empty line, the comment and a final
    // line break. A value the table lacks contributes the empty string.
    static std::string NameLine();
    static std::string InfoText();

  private:
    // Fills 1022 and 1023 from the version table.
    void OnInitDialog();
};
