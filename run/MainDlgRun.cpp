// SPDX-License-Identifier: GPL-3.0-or-later
// The main dialog's side of a run: the request it copies into a run object (run/RunJob.h) and what it
// keeps of the result. User-interface thread.

#include "run/RunJob.h"
#include "ui/MainDlg.h"

void CMainDlg::TestSetJobListAnswer(std::function<int(CJobListDlg&)> answer) {
    CRunJob::TestSetJobListAnswer(std::move(answer));
}

RunRequest CMainDlg::RunRequestFor(int mode) {
    RunRequest request;
    request.mode = mode;
    request.sourceDir = m_strSourceDir;
    request.destinationDir = GetDestinationDir();
    request.askedDestination = m_strAskedDestination;
    request.ignore = m_strEffectiveIgnore;
    request.unattended = IsAutoRun();
    request.alert = m_bAlert != 0;
    request.createFolderFile = m_bCreateRvx != 0;
    request.keepReplacedDays = m_nKeepReplacedDays;
    request.folderKeepReplaced = m_strFolderKeepReplaced;
    return request;
}

void CMainDlg::TakeRunResult(const RunResult& result) {
    // The folders as the run settled them: the saved settings name what the run used.
    m_strSourceDir = result.sourceDir;
    m_strDestinationDir = result.destinationDir;
    if (IsAutoRun() && result.Failed()) {
        m_bRunFailed = 1;
    }
}

RunResult CMainDlg::RunHere(int mode, IProgress* progress) {
    CRunJob run(RunRequestFor(mode), progress, this);
    connect(&run, &CRunJob::MainWindowEnabled, this, &CMainDlg::EnableMainWindow);
    const RunResult result = run.Run();
    TakeRunResult(result);
    return result;
}

void CMainDlg::RunJob(int mode) {
    RunHere(mode, nullptr);
}
