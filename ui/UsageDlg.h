// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The usage dialog (template 134): the command-line options, one line each; clicking the icon opens
// the About dialog on top. User-interface thread only.

#include <QDialog>

class CUsageDlg final : public QDialog {
    Q_OBJECT
  public:
    explicit CUsageDlg(QWidget* parent = nullptr);
    ~CUsageDlg() override;

    // Runs the About dialog modally; returns when it is closed, the usage dialog still open.
    void OnClickIcon();
};

// The usage rows on standard output, one line each: what "--help" and a usage without a window print.
void PrintUsage();
