// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The small window that shows a run's progress: caption, one status line and a bar. It owns itself, and
// keeps the main window disabled for as long as it exists, so that only one run exists at a time.
// User-interface thread only; other threads reach it through CProgressLink (run/ProgressLink.h).

#include <QPointer>
#include <QString>

#include <functional>

#include "ui/ModelessDlg.h"

class QLabel;
class QProgressBar;

class CProgressDlg final : public CModelessDlg {
    Q_OBJECT

  public:
    // Opens at once at the top-left corner of the screen with the caption "TD", the text "?" and an empty
    // bar, and disables mainWindow (which may be null) until this window is destroyed. When mayEnable is
    // given, the main window is enabled again at that moment only if it answers true: the run that owns
    // the main window then enables it itself once its thread is gone as well.
    explicit CProgressDlg(QWidget* mainWindow, std::function<bool()> mayEnable = {});
    ~CProgressDlg() override;

  public slots:
    // The bar's range, any int bounds (low <= high).
    void SetRange(int low, int high);
    void SetPos(int pos);
    void SetStatus(const QString& text);
    void SetCaption(const QString& text);

  protected:
    void OnDestroy() override;

  private:
    void EnableParent();

    // The main window this one keeps disabled; null when there is none or it is gone.
    const QPointer<QWidget> m_pParentWnd;
    const std::function<bool()> m_mayEnableParent;
    QProgressBar* const m_pBar;
    QLabel* const m_pStatus;
    bool m_bParentEnabled = false;  // true once m_pParentWnd was enabled again
    bool m_bEmptyRange = false;     // the range holds no position: the bar stays empty
};
