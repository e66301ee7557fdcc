// SPDX-License-Identifier: GPL-3.0-or-later
// New-folder dialog.
#include "ui/NewDirDlg.h"

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "ui/MessageBox.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "support/PathUtil.h"
#include "ui/DialogLayout.h"
#include "ui/Text.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

std::string WithSeparator(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

}  // namespace

CNewDirDlg::CNewDirDlg(const std::string& basePath, QWidget* parent)
    : QDialog(parent), m_strBasePath(WithSeparator(basePath)) {
    BuildDialog(this, res::IDD_NEWDIR);
    m_btnOK = DlgItem<QPushButton>(this, res::IDOK);
    m_edName = DlgItem<QLineEdit>(this, res::IDC_NEWDIR_NAME);
    Q_ASSERT(m_btnOK && m_edName);
    connect(m_edName, &QLineEdit::textChanged, this, &CNewDirDlg::OnChangeName);
}

CNewDirDlg::~CNewDirDlg() = default;

void CNewDirDlg::OnChangeName() {
    const std::string name = ToBytes(m_edName->text());
    m_btnOK->setEnabled(IsValidPathName(name, false) && !name.empty() &&
                        !platform::PathExists(m_strBasePath + name));
}

void CNewDirDlg::accept() {
    const std::string name = ToBytes(m_edName->text());
    // Enter reaches here only through the enabled OK button, but the name is checked again: the
    // path is built from user text and must stay one new entry of the base folder.
    if (name.empty() || !IsValidPathName(name, false)) {
        return;
    }
    if (!platform::CreateFolder(m_strBasePath + name)) {
        MessageBox(std::string(res::kCannotCreateDirectory) + platform::LastError().Text(), kMbOk);
        return;
    }
    QDialog::accept();
}
