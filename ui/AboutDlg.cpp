// SPDX-License-Identifier: GPL-3.0-or-later
// About dialog.
#include "ui/AboutDlg.h"

#include "res/Resources.h"
#include "res/Strings.h"
#include "ui/DialogLayout.h"
#include "ui/Text.h"
#include "ui/VersionInfo.h"

#include <QLabel>

#include <cstdio>

namespace {

std::string ReadString(const std::string& key) {
    std::string value;
    (void)GetVersionString(value, key);  // a missing value shows as empty text
    return value;
}

QString Escaped(const std::string& text) {
    return FromBytes(text).toHtmlEscaped();
}

// The info text as rich text: the same lines, with the two addresses as links. The final line break
// is left out: in a static text it ends the last line, in rich text it would add a line that no longer
// fits the box.
QString InfoHtml() {
    SetVersionInfoSource(kAboutVersionPrefix);
    const QString mail = Escaped(res::kAuthorMail);
    const QString web = Escaped(res::kAuthorWeb);
    return Escaped(ReadString("LegalCopyright")) + QStringLiteral("<br><br>") +
           QStringLiteral("<a href=\"mailto:") + mail + QStringLiteral("\">") + mail +
           QStringLiteral("</a><br>") + QStringLiteral("<a href=\"") + web + QStringLiteral("\">") + web +
           QStringLiteral("</a><br><br>") + Escaped(ReadString("Comments"));
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    BuildDialog(this, res::IDD_ABOUTBOX);
    OnInitDialog();
}

CAboutDlg::~CAboutDlg() = default;

std::string CAboutDlg::NameLine() {
    SetVersionInfoSource(kAboutVersionPrefix);
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t build = 0;
    (void)GetProductVersion(&major, &minor, &build);  // the third number is not shown either way
    char version[64];
    std::snprintf(version, sizeof version, "Version %d.%d (build %03d)", major, minor, build);
    return ReadString("ProductName") + " " + version;
}

std::string CAboutDlg::InfoText() {
    SetVersionInfoSource(kAboutVersionPrefix);
    return ReadString("LegalCopyright") + "\n\n" + res::kAuthorMail + "\n" + res::kAuthorWeb + "\n\n" +
           ReadString("Comments") + "\n";
}

void CAboutDlg::OnInitDialog() {
    if (auto* name = DlgItem<QLabel>(this, res::IDC_ABOUT_NAME)) {
        name->setText(FromBytes(NameLine()));
    }
    if (auto* info = DlgItem<QLabel>(this, res::IDC_ABOUT_TEXT)) {
        info->setTextFormat(Qt::RichText);
        info->setTextInteractionFlags(Qt::TextBrowserInteraction);
        info->setOpenExternalLinks(true);
        info->setText(InfoHtml());
    }
}
