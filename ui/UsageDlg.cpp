// SPDX-License-Identifier: GPL-3.0-or-later
// Usage dialog.
#include "ui/UsageDlg.h"

#include <cstdio>

#include <QGuiApplication>
#include <QScreen>

#include "res/Resources.h"
#include "ui/AboutDlg.h"
#include "ui/DialogLayout.h"
#include "ui/IconLabel.h"

CUsageDlg::CUsageDlg(QWidget* parent) : QDialog(parent) {
    BuildDialog(this, res::IDD_USAGE);
    // Shown before the main window, with nothing to be centred over: the middle of the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    if (auto* icon = DlgItem<CIconLabel>(this, res::IDC_USAGE_ICON)) {
        connect(icon, &CIconLabel::clicked, this, &CUsageDlg::OnClickIcon);
    }
}

CUsageDlg::~CUsageDlg() = default;

void CUsageDlg::OnClickIcon() {
    CAboutDlg about(this);
    about.exec();
}

void PrintUsage() {
    for (const auto& row : res::UsageRows()) {
        std::printf("%-20s %s\n", row.option, row.explanation);
    }
}
