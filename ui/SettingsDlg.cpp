// SPDX-License-Identifier: GPL-3.0-or-later
// Settings dialog.
#include "ui/SettingsDlg.h"

#include "res/Resources.h"
#include "support/IgnoreList.h"
#include "ui/DialogLayout.h"
#include "ui/Text.h"

#include <QCheckBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QShowEvent>

#include <algorithm>

namespace {

constexpr int kMaxKeepDays = 36500;

QLineEdit* MustFindEdit(const QDialog* dialog, int id) {
    auto* edit = DlgItem<QLineEdit>(dialog, id);
    Q_ASSERT(edit);
    return edit;
}

// The edited text as bytes; an unchanged text keeps its original bytes, also those that are not
// valid in the locale's encoding and could not survive display.
std::string TakeText(const QLineEdit* edit, const std::string& original) {
    const QString text = edit->text();
    return text == FromBytes(original) ? original : ToBytes(text);
}

}  // namespace

CSettingsDlg::CSettingsDlg(QWidget* parent) : QDialog(parent) {
    BuildDialog(this, res::IDD_SETTINGS);
    m_edIgnore = MustFindEdit(this, res::IDC_IGNORE);
    m_edEffectiveIgnore = MustFindEdit(this, res::IDC_EFFECTIVE_IGNORE);
    m_edFolderIgnore = MustFindEdit(this, res::IDC_FOLDER_IGNORE);
    connect(m_edIgnore, &QLineEdit::textChanged, this, &CSettingsDlg::OnChangeIgnore);
    m_edKeepDays = MustFindEdit(this, res::IDC_KEEP_DAYS);
    m_edKeepDays->setValidator(new QIntValidator(1, kMaxKeepDays, m_edKeepDays));
    // Its label stands after it: a screen reader gets the name from the box in front.
    m_edKeepDays->setAccessibleName(QStringLiteral("Days to keep replaced files"));
    auto* keep = DlgItem<QCheckBox>(this, res::IDC_KEEP_REPLACED);
    connect(keep, &QCheckBox::toggled, m_edKeepDays, &QWidget::setEnabled);
}

CSettingsDlg::~CSettingsDlg() = default;

void CSettingsDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        // Same order as the controls are bound: setting 1012 recomputes 1014, which then takes the
        // owner's value.
        m_edIgnore->setText(FromBytes(m_strIgnore));
        m_edFolderIgnore->setText(FromBytes(m_strFolderIgnore));
        m_edEffectiveIgnore->setText(FromBytes(m_strEffectiveIgnore));
        DlgItem<QCheckBox>(this, res::IDC_CREATE_RVX)->setChecked(m_bCreateRvx != 0);
        DlgItem<QCheckBox>(this, res::IDC_ENABLE_CHECKINOUT)->setChecked(m_bEnableCheckInOut != 0);
        // Off, the field offers the month that a first tick most likely wants.
        DlgItem<QCheckBox>(this, res::IDC_KEEP_REPLACED)->setChecked(m_nKeepReplacedDays > 0);
        m_edKeepDays->setEnabled(m_nKeepReplacedDays > 0);
        m_edKeepDays->setText(QString::number(m_nKeepReplacedDays > 0 ? m_nKeepReplacedDays : 30));
    }
    QDialog::showEvent(event);
}

void CSettingsDlg::setVisible(bool visible) {
    QDialog::setVisible(visible);
    if (visible) {
        // The one field to edit takes the keyboard, not OK, where a typed blank would close the dialog;
        // nothing selected, so that typing adds to the list rather than replacing it.
        m_edIgnore->setFocus(Qt::OtherFocusReason);
        m_edIgnore->deselect();
        m_edIgnore->end(false);
    }
}

void CSettingsDlg::OnChangeIgnore() {
    const std::string global = TakeText(m_edIgnore, m_strIgnore);
    const std::string folder = TakeText(m_edFolderIgnore, m_strFolderIgnore);
    m_edEffectiveIgnore->setText(FromBytes(ExpandIgnoreList(global, folder)));
}

void CSettingsDlg::accept() {
    const std::string global = TakeText(m_edIgnore, m_strIgnore);
    // The folder's own list is shown read-only: the owner's value comes back as it went in.
    // The effective list is recomputed from bytes rather than read back from its display.
    m_strEffectiveIgnore = (global == m_strIgnore) ? TakeText(m_edEffectiveIgnore, m_strEffectiveIgnore)
                                                   : ExpandIgnoreList(global, m_strFolderIgnore);
    m_strIgnore = global;
    m_bCreateRvx = DlgItem<QCheckBox>(this, res::IDC_CREATE_RVX)->isChecked() ? 1 : 0;
    m_bEnableCheckInOut = DlgItem<QCheckBox>(this, res::IDC_ENABLE_CHECKINOUT)->isChecked() ? 1 : 0;
    // Ticked with the field emptied: one day, the least that still keeps something.
    m_nKeepReplacedDays = DlgItem<QCheckBox>(this, res::IDC_KEEP_REPLACED)->isChecked()
                              ? std::clamp(m_edKeepDays->text().toInt(), 1, kMaxKeepDays)
                              : 0;
    QDialog::accept();
}
