// Interactive runs: the four Start menu commands open the progress window and start the run's worker
// thread. User-interface thread, except RunThreadProc, which is the worker.

#include <QThread>

#include "engine/WorkList.h"
#include "platform/MessageBox.h"
#include "run/ProgressLink.h"
#include "ui/MainDlg.h"
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
    auto* progress = new CProgressDlg(this);
    m_pProgressDlg = progress;
    m_nRunMode = mode;
    auto* link = new CProgressLink(progress);
    // The window may be closed early with Enter or Esc while the run goes on: the main window stays
    // disabled until the run's thread has ended too.
    connect(progress, &QObject::destroyed, this, [this] {
        if (m_bRunActive) {
            setEnabled(false);
        }
    });

    QThread* worker = QThread::create([this, link] { RunThreadProc(link); });
    connect(worker, &QThread::finished, this, [this, worker, link] {
        // Everything the worker posted to this thread has been delivered before this signal.
        delete link;
        worker->deleteLater();
        m_hProgressWnd = nullptr;
        m_bRunActive = false;
        if (!m_pProgressDlg) {
            setEnabled(true);
        }
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
        platform::MessageBox("Cannot start the run: no thread could be created.", platform::kMbIconHand);
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

IProgress* CMainDlg::Progress() {
    return m_hProgressWnd;
}
