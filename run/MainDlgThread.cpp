// SPDX-License-Identifier: GPL-3.0-or-later
// Interactive runs: the four Start menu commands open the progress window and start a run object on its
// own thread (run/RunJob.h). User-interface thread.

#include <QApplication>
#include <QPointer>
#include <QThread>

#include "engine/WorkList.h"
#include "run/ProgressLink.h"
#include "run/RunJob.h"
#include "ui/MainDlg.h"
#include "ui/MessageBox.h"
#include "ui/ProgressDlg.h"

void CMainDlg::OnBackup() {
    StartRun(RunBackup);
}
void CMainDlg::OnSynchronize() {
    StartRun(RunSynchronize);
}
void CMainDlg::OnCheckIn() {
    StartRun(RunCheckIn);
}
void CMainDlg::OnCheckOut() {
    StartRun(RunCheckOut);
}

void CMainDlg::StartRun(int mode) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_bRunActive) {
        return;  // one run at a time
    }
    m_bRunActive = true;
    // The main window stays disabled until both the progress window and the run's thread are gone: the
    // window may be closed early with Enter, Esc or its close box while the run goes on.
    auto* progress = new CProgressDlg(this, [this] { return !m_bRunActive; });
    m_pProgressDlg = progress;
    m_pProgressLink = std::make_unique<CProgressLink>(progress);
    const auto personAway = [this] {
        constexpr qint64 kAwayMs = 1000;
        return !QApplication::activeWindow() && m_inactiveSince.isValid() && m_inactiveSince.elapsed() > kAwayMs;
    };
    m_pRun = std::make_unique<CRunJob>(RunRequestFor(mode), m_pProgressLink.get(), this, progress, personAway);
    connect(m_pRun.get(), &CRunJob::MainWindowEnabled, this, &CMainDlg::EnableMainWindow);
    // Watched here rather than through m_pProgressDlg, which may be cleared while the close the run asked
    // for is still on its way.
    const QPointer<CProgressDlg> window = progress;
    connect(m_pRun.get(), &CRunJob::Finished, this, [this, window](const RunResult& result) {
        TakeRunResult(result);
        m_pRun.release()->deleteLater();  // the sender goes once its signal is over
        m_pProgressLink.reset();
        m_pProgressDlg = nullptr;
        m_bRunActive = false;
        if (!window || window->IsDestroyed()) {
            setEnabled(true);
        }  // otherwise the window enables it as it goes
    });
    if (!m_pRun->Start()) {
        m_pRun.reset();
        m_pProgressLink.reset();
        m_bRunActive = false;
        if (m_pProgressDlg) {
            m_pProgressDlg->close();
        }
        setEnabled(true);
        MessageBox("Cannot start the run: no thread could be created.", kMbIconHand);
    }
}

void CMainDlg::EnableMainWindow(bool enable) {
    Q_ASSERT(QThread::currentThread() == thread());
    // While an interactive run exists the main window stays disabled: it is enabled when the run's
    // progress window and thread are gone.
    if (enable && m_bRunActive) {
        return;
    }
    setEnabled(enable);
}
