// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings dialog (template 133): the global ignore list, the source folder's own list (read-only),
// a live preview of the list a run would use, and the two switches. User-interface thread only.

#include <string>

#include <QDialog>

class QLineEdit;
class QShowEvent;

class CSettingsDlg final : public QDialog {
    Q_OBJECT
  public:
    explicit CSettingsDlg(QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    // Seeded by the owner before exec(); written back only when OK ends the dialog.
    std::string m_strIgnore;
    std::string m_strFolderIgnore;
    std::string m_strEffectiveIgnore;
    int m_bCreateRvx = 0;
    int m_bEnableCheckInOut = 0;
    int m_nKeepReplacedDays = 0;  // 0: replaced files are not kept

    // OK: the controls' values into the members, then the dialog ends accepted.
    void accept() override;

    // Recomputes 1014 from 1012 and 1013; runs on every change of 1012.
    void OnChangeIgnore();

  protected:
    // Each time the dialog opens, the controls show the members.
    void showEvent(QShowEvent* event) override;
    // Once shown, the keyboard is in the ignore field with the cursor after its text.
    void setVisible(bool visible) override;

  private:
    // Controls 1012, 1014 and 1013, children of the dialog.
    QLineEdit* m_edIgnore = nullptr;
    QLineEdit* m_edEffectiveIgnore = nullptr;
    QLineEdit* m_edFolderIgnore = nullptr;
    QLineEdit* m_edKeepDays = nullptr;
};
