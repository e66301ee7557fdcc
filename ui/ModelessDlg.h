// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A dialog that exists only modelessly and owns itself: it has no parent, opens at once at the top-left
// corner of the screen (shown, raised, activated), and frees itself once its window is gone. User-interface
// thread only.

#include <QDialog>

class CModelessDlg : public QDialog {
    Q_OBJECT

  public:
    // Builds the window from template templateId and shows it at once. The object must be made with new:
    // after DestroyWindow it deletes itself (deleteLater), so callers watch it through a QPointer.
    explicit CModelessDlg(int templateId);
    ~CModelessDlg() override;
    CModelessDlg(const CModelessDlg&) = delete;
    CModelessDlg& operator=(const CModelessDlg&) = delete;

    // Hides the window for good, runs OnDestroy once and schedules the object's deletion. A second call
    // does nothing.
    void DestroyWindow();
    // True once DestroyWindow has run.
    bool IsDestroyed() const { return m_bDestroyed; }

    // Every way a dialog ends (Enter, Esc, the buttons that accept or reject, done(), the desktop's close)
    // lands here: accepted results go to OnOK, all others to OnCancel, and both destroy the window.
    void done(int result) override;

  protected:
    virtual void OnOK();
    virtual void OnCancel();
    // Called once, while the object is still whole, when the window goes away.
    virtual void OnDestroy() {}

    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool m_bDestroyed = false;
};
