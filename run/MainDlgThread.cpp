// SPDX-License-Identifier: GPL-3.0-or-later
// Interactive runs: the four Start menu commands open the progress window and start the run's worker
// thread. User-interface thread, except RunThreadProc, which is the worker.

#include <QApplication>
#include <QPointer>
#include <QThread>

#include "engine/WorkList.h"
#include "ui/MessageBox.h"
#include "run/ProgressLink.h"
#include "ui/MainDlg.h"
#include "ui/DesktopNotice.h"
#include "ui/ProgressDlg.h"
#include "ui/Text.h"

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
    m_bRunReported = false;
    m_runStart = std::chrono::steady_clock::now();
    // The main window stays disabled until both the progress window and the run's thread are gone: the
    // window may be closed early with Enter, Esc or its close box while the run goes on.
    auto* progress = new CProgressDlg(this, [this] { return !m_bRunActive; });
    m_pProgressDlg = progress;
    m_nRunMode = mode;
    auto* link = new CProgressLink(progress);

    QThread* worker = QThread::create([this, link] { RunThreadProc(link); });
    // Watched here rather than through m_pProgressDlg, which the run clears when it asks for the close
    // that may still be on its way.
    const QPointer<CProgressDlg> window = progress;
    connect(worker, &QThread::finished, this, [this, worker, link, window] {
        // Everything the worker posted to this thread has been delivered before this signal.
        delete link;
        worker->deleteLater();
        m_hProgressWnd = nullptr;
        m_bRunActive = false;
        if (!window || window->IsDestroyed()) {
            setEnabled(true);
        }  // otherwise the window enables it as it goes
    });
    worker->start();
    if (!worker->isRunning() && !worker->isFinished()) {
        delete link;
        delete worker;
        m_bRunActive = false;
        if (m_pProgressDlg) {
            m_pProgressDlg->close();
        }
        setEnabled(true);
        MessageBox("Cannot start the run: no thread could be created.", kMbIconHand);
    }
}

void CMainDlg::RunThreadProc(CProgressLink* link) {
    g_pMainDlg->m_hProgressWnd = link;
    g_pMainDlg->RunJob(g_pMainDlg->m_nRunMode);
}

void CMainDlg::EnableMainWindow(bool enable) {
    OnUiThread([this, enable] {
        // While an interactive run exists the main window stays disabled: it is enabled when the run's
        // progress window and thread are gone.
        if (enable && m_bRunActive) {
            return;
        }
        setEnabled(enable);
    });
}

void CMainDlg::NotifyIfUnseen(const std::string& outcome) {
    auto* link = dynamic_cast<CProgressLink*>(m_hProgressWnd);
    if (!link || IsAutoRun()) {
        return;
    }
    static const char* const kRunNames[] = {"Backup", "Synchronize", "Check In", "Check Out"};
    const char* name =
        m_nRunMode >= RunBackup && m_nRunMode <= RunCheckOut ? kRunNames[m_nRunMode - 1] : "Run";
    OnUiThread([&] {
        constexpr qint64 kAwayMs = 1000;
        const bool away =
            !QApplication::activeWindow() && m_inactiveSince.isValid() && m_inactiveSince.elapsed() > kAwayMs;
        if (link->IsOpen() && !away) {
            return;  // the progress window is there and the person is using the program
        }
        SendDesktopNotice(QStringLiteral("Tandrel: ") + QString::fromLatin1(name) + QStringLiteral(" ended"),
                          FromBytes(m_strSourceDir + " \u2192 " + m_strDestinationDir + "\n" + outcome));
    });
}

IProgress* CMainDlg::Progress() {
    return m_hProgressWnd;
}
