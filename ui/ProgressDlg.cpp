// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ProgressDlg.h"

#include "res/Resources.h"
#include "ui/DialogLayout.h"

#include <QLabel>
#include <QProgressBar>
#include <QThread>

#include <utility>

CProgressDlg::CProgressDlg(QWidget* mainWindow, std::function<bool()> mayEnable)
    : CModelessDlg(res::IDD_PROGRESS),
      m_pParentWnd(mainWindow),
      m_mayEnableParent(std::move(mayEnable)),
      m_pBar(DlgItem<QProgressBar>(this, res::IDC_PROGRESS_BAR)),
      m_pStatus(DlgItem<QLabel>(this, res::IDC_PROGRESS_TEXT)) {
    Q_ASSERT(m_pBar && m_pStatus);
    if (m_pParentWnd) {
        m_pParentWnd->setEnabled(false);
    }
    // A bar of the platform style: no percentage text, empty until the first position arrives.
    m_pBar->setTextVisible(false);
    m_pBar->reset();
    // Status lines are file names: never read them as markup.
    m_pStatus->setTextFormat(Qt::PlainText);
}

CProgressDlg::~CProgressDlg() {
    // Deleted without DestroyWindow (for instance at program end): the main window must not stay disabled.
    EnableParent();
}

void CProgressDlg::OnDestroy() {
    EnableParent();
}

void CProgressDlg::EnableParent() {
    if (m_bParentEnabled) {
        return;
    }
    m_bParentEnabled = true;
    if (m_pParentWnd && (!m_mayEnableParent || m_mayEnableParent())) {
        m_pParentWnd->setEnabled(true);
    }
}

void CProgressDlg::SetRange(int low, int high) {
    Q_ASSERT(QThread::currentThread() == thread());
    // Qt shows an empty range as a busy animation; a pass with nothing to do only waits: an empty bar.
    m_bEmptyRange = low == high;
    if (m_bEmptyRange) {
        m_pBar->setRange(0, 1);
        m_pBar->setValue(0);
    } else {
        m_pBar->setRange(low, high);
    }
}

void CProgressDlg::SetPos(int pos) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (!m_bEmptyRange) {
        m_pBar->setValue(pos);
    }
}

void CProgressDlg::SetStatus(const QString& text) {
    Q_ASSERT(QThread::currentThread() == thread());
    m_pStatus->setText(text);
}

void CProgressDlg::SetCaption(const QString& text) {
    Q_ASSERT(QThread::currentThread() == thread());
    setWindowTitle(text);
}
