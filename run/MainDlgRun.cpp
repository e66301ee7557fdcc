// SPDX-License-Identifier: GPL-3.0-or-later
// The job runner: a run from its start to its end. On the run's worker thread in interactive runs, on
// the user-interface thread in unattended runs. Windows are reached only through OnUiThread, the message
// box of platform/ and the progress link.

#include "engine/CheckInOut.h"
#include "engine/DirScanner.h"
#include "engine/Executor.h"
#include "engine/GenericException.h"
#include "engine/KeptVersions.h"
#include "engine/RunHost.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "platform/FileSystem.h"
#include "ui/MessageBox.h"
#include "platform/HeldRoots.h"
#include "platform/Versions.h"
#include "run/FolderSettings.h"
#include "support/PathUtil.h"
#include "run/CommandLine.h"
#include "run/ProgressLink.h"
#include "run/RunLog.h"
#include "run/TerminalProgress.h"
#include "res/Strings.h"
#include "ui/JobListDlg.h"
#include "ui/ProgressDlg.h"
#include "ui/MainDlg.h"

#include <chrono>
#include <memory>
#include <vector>

namespace {

std::function<int(CJobListDlg&)>& JobListAnswer() {
    static std::function<int(CJobListDlg&)> answer;
    return answer;
}

bool IsCheckInOut(int mode) {
    return mode == RunCheckIn || mode == RunCheckOut;
}

}  // namespace

void CMainDlg::TestSetJobListAnswer(std::function<int(CJobListDlg&)> answer) {
    JobListAnswer() = std::move(answer);
}

void CMainDlg::RunJob(int mode) {
    m_strDestinationDir = platform::ResolvedFolder(GetDestinationDir());
    m_strSourceDir = platform::ResolvedFolder(m_strSourceDir);
    CreateFolderFile();
    StartKeepingVersions();
    bool locked = false;
    bool executed = false;
    // Both roots held from here to the run's end (the unlock included): a root swapped for a link
    // later leads nowhere, since every scan, lock, copy and flush opens the folder held.
    platform::CHeldRoots roots;
    try {
        std::string root;
        if (!roots.Hold({m_strSourceDir, m_strDestinationDir}, root)) {
            throw CGenericException(root + ": " + SystemErrorText());
        }
        // Judged once more on the folders just held: the run works on nothing else.
        if (!RunPreconditionHolds(m_strSourceDir, m_strDestinationDir)) {
            throw CGenericException(RefusalReason());
        }
        bool refused = false;
        if (IsCheckInOut(mode)) {
            refused = !CheckInOutGuard(mode, m_strSourceDir, m_strDestinationDir, *this, *this);
            if (!refused) {
                LockTrees(m_strSourceDir, m_strDestinationDir, *this);
                locked = true;
            }
        }
        if (!refused) {
            CDirScanner source(m_strSourceDir, m_strEffectiveIgnore, m_hProgressWnd);
            // Nothing looks at a destination file's archive bit: leave it unread, a system call per file.
            CDirScanner destination(m_strDestinationDir, m_strEffectiveIgnore, m_hProgressWnd, false);
            CWorkListBuilder builder(source, destination, m_hProgressWnd);
            builder.ApplyRunMode(mode);
            bool confirmed = true;
            if (IsAutoRun()) {
                ExecuteWorkList(builder, mode);
            } else {
                m_nCheckOp = CheckOpClearReadOnly;
                confirmed = ShowJobList(builder, mode) == kIdOk;
                if (confirmed) {
                    ExecuteWorkList(builder, mode);
                    executed = true;
                }
            }
            if (locked) {
                // Also after a run without the job list: leaving both trees locked would make every
                // later check-in and check-out refuse to start.
                UnlockTrees(mode, confirmed, m_strSourceDir, m_strDestinationDir, *this);
                locked = false;
            }
        }
    } catch (const CGenericException& e) {
        if (locked) {
            // An aborted run unlocks like a cancelled one: the tree that was writable stays writable.
            UnlockTrees(mode, false, m_strSourceDir, m_strDestinationDir, *this);
        }
        std::string text = e.GetMessageText();
        if (IsAutoRun()) {
            Report(text, kMbOk, 0);  // the log and standard error
            AlertIfFailed(text.c_str());
        } else {
            if (!m_bRunReported) {
                m_bRunReported = true;
                NotifyIfUnseen(text);
            }
            MessageBox(text, kMbOk);
        }
    }
    if (executed && !m_bRunReported) {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - m_runStart;
        NotifyIfUnseen(RunSummary(m_nCopiedToDestination, m_nCopiedToSource, m_nUnchanged, took.count()) +
                       ". " + res::kLogOk);
    }
    CloseProgressWindow();
}

void CMainDlg::StartKeepingVersions() {
    m_strVersionStamp.clear();
    const int days = KeepReplacedDays(m_nKeepReplacedDays, m_strFolderKeepReplaced);
    if (days <= 0) {
        return;  // off: old versions stay until the user turns keeping on again or removes them
    }
    const int64_t now = platform::NowSeconds();
    // A run started within the second of the one before takes the next free second: its versions never
    // meet the earlier run's.
    const auto taken = [this](const std::string& stamp) {
        const std::string folder = std::string(kVersionsFolder) + "/" + stamp;
        return platform::PathExists(m_strSourceDir + folder) ||
               platform::PathExists(m_strDestinationDir + folder);
    };
    int64_t stampTime = now;
    while (taken(platform::LocalFolderStamp(stampTime)) && stampTime < now + 60) {
        ++stampTime;
    }
    m_strVersionStamp = platform::LocalFolderStamp(stampTime);
    // Only the program's own folders, and a failure costs the run nothing: the next run tries again.
    for (const std::string& root : {m_strSourceDir, m_strDestinationDir}) {
        for (const std::string& line : PruneVersions(root, days, now)) {
            WriteRunLog(line, RunLogDetail);
        }
    }
}

int CMainDlg::ExecuteWorkList(CWorkListBuilder& builder, int mode) {
    ::ExecuteWorkList(*this, m_strSourceDir, m_strDestinationDir, builder, mode, m_strVersionStamp);
    // What a good run did, for the summary on a terminal.
    m_nCopiedToDestination = m_nCopiedToSource = m_nUnchanged = 0;
    for (const WorkItem& item : builder.m_items) {
        m_nCopiedToDestination += (item.m_nFlags & (WorkBackup | WorkCreate)) != 0;
        m_nCopiedToSource += (item.m_nFlags & WorkSynchronize) != 0;
        m_nUnchanged += (item.m_nFlags & WorkSame) != 0;
    }
    return 0;
}

bool CMainDlg::IsAllReadOnly(const std::string& folder) {
    return ::IsAllReadOnly(*this, folder);
}

bool CMainDlg::IsNoneReadOnly(const std::string& folder) {
    return ::IsNoneReadOnly(*this, folder);
}

int CMainDlg::ShowJobList(CWorkListBuilder& builder, int mode) {
    int result = kIdCancel;
    OnUiThread([&] {
        if (auto* link = dynamic_cast<CProgressLink*>(m_hProgressWnd)) {
            link->Flush();  // the progress window shows where the run stands behind the list
        }
        CJobListDlg dialog(&builder, mode, this);
        result = JobListAnswer() ? JobListAnswer()(dialog) : dialog.exec();
        // The keyboard goes back to the progress window, not to the disabled main window, so that Enter
        // or Esc can still close it during the copies.
        if (m_pProgressDlg && !m_pProgressDlg->IsDestroyed()) {
            m_pProgressDlg->raise();
            m_pProgressDlg->activateWindow();
        }
    });
    return result;
}

void CMainDlg::CloseProgressWindow() {
    if (auto* link = dynamic_cast<CProgressLink*>(m_hProgressWnd)) {
        link->Close();
    }
    m_pProgressDlg = nullptr;
}
