// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the main dialog: the initialisation chain, the command line, reporting and the
// unattended run. User-interface thread.

#include <chrono>
#include <cstdio>
#include <memory>

#include <QLineEdit>

#include "engine/WorkList.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Signals.h"
#include "platform/Terminal.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "run/CommandLine.h"
#include "run/RunJob.h"
#include "run/RunLog.h"
#include "run/TerminalProgress.h"
#include "support/PathUtil.h"
#include "ui/DirTreeCtrl.h"
#include "ui/MainDlg.h"
#include "ui/MenuButton.h"
#include "ui/MessageBox.h"
#include "ui/Text.h"
#include "ui/UsageDlg.h"

namespace {

std::function<int()>& UtcYearSource() {
    static std::function<int()> source = platform::CurrentUtcYear;
    return source;
}

constexpr int kLastWorkingYear = 2035;

}  // namespace

void CMainDlg::TestSetUtcYear(std::function<int()> utcYear) {
    UtcYearSource() = utcYear ? std::move(utcYear) : std::function<int()>(platform::CurrentUtcYear);
}

int CMainDlg::DoModal() {
    OnInitDialog();
    if (m_bQuitRequested) {
        return m_nExitCode;  // the window is never shown
    }
    if (IsHeadless()) {
        // Nobody could answer the window: end as "/!q" would.
        std::fprintf(stderr, "tandrel: no display, the main window is not shown\n");
        WriteRunLog(res::kLogAutoQuit, RunLogEntry);
        return m_nExitCode;
    }
    // Modal for the program's flow, yet blocking no other window: the run's progress window has no owner
    // and must take the keyboard and mouse while this one is disabled.
    setWindowModality(Qt::WindowModal);
    exec();
    return m_nExitCode;
}

// The initialisation, in this order: icon, publication of the dialog, settings, Start menu and its
// greying, date guard, command line, per-folder settings file, folder fields, directory tree, run
// precondition, the unattended run, and the automatic quit.
bool CMainDlg::OnInitDialog() {
    // The About entry lives in the window's context menu (contextMenuEvent): desktops here offer no
    // system menu to extend.
    setWindowIcon(m_hIcon);

    ExchangeSettings(0);
    m_btnStart->LoadPopupMenu(res::IDM_START);
    ApplyCheckInOutGreying();

    if (UtcYearSource()() > kLastWorkingYear) {
        Report(res::kDateGuard, kMbIconHand, 0);
        return false;
    }

    ParseCommandLine();
    // The folders the run will really touch, from here on: the log, the saved settings and the run all
    // use them, and no spelling (relative, "..", a link) can slip past the run precondition.
    m_strSourceDir = platform::ResolvedFolder(m_strSourceDir);
    ReadFolderFile();
    m_strDestinationDir = platform::ResolvedFolder(m_strDestinationDir);
    m_edSource->setText(FromBytes(m_strSourceDir));

    NormalizeFolder(m_strDestinationDir);
    m_strAskedDestination = m_strDestinationDir;
    if (!platform::PathExists(m_strDestinationDir)) {
        m_strDestinationDir.clear();
    }
    m_tree->SetOptions(true, DTO_NOREDRAW);
    m_tree->Initialize(true);
    if (!IsAutoRun()) {
        (void)m_tree->SelectPath(m_strDestinationDir);
    }
    m_strDestinationDir = GetDestinationDir();
    ShowSourceAndDestination();
    CanStart();

    int mode = m_bAutoSynchronize ? RunSynchronize : (m_bAutoBackup ? RunBackup : 0);
    if (mode != 0) {
        RunUnattended(mode);
    }
    if (m_bAutoQuit) {
        WriteRunLog(res::kLogAutoQuit, RunLogEntry);
        RequestQuit(m_nExitCode);
    }
    return true;
}

void CMainDlg::RunUnattended(int mode) {
    // Ctrl-C, a kill or a closed terminal stop the run between items, with its message and "ERROR!".
    platform::CatchStopSignals();
    WriteRunLog("", RunLogBlank);
    WriteRunLog(res::kLogSource + m_strSourceDir, RunLogEntry);
    // The folder that was asked for, also when it is missing: the log must say what could not be used.
    WriteRunLog(
        res::kLogDestination + (m_strDestinationDir.empty() ? m_strAskedDestination : m_strDestinationDir),
        RunLogEntry);
    WriteRunLog(mode == RunSynchronize ? res::kLogStartSynchronize : res::kLogStartBackup, RunLogDetail);
    if (CanStart()) {
        m_bRunFailed = 0;
        // A person at a terminal sees the run move; cron mail and redirected output stay quiet.
        std::unique_ptr<CTerminalProgress> terminal;
        if (platform::StandardErrorIsTerminal()) {
            terminal = std::make_unique<CTerminalProgress>();
        }
        const auto start = std::chrono::steady_clock::now();
        const RunResult result = RunHere(mode, terminal.get());
        if (terminal && !m_bRunFailed) {
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            terminal->Finish(
                RunSummary(result.copiedToDestination, result.copiedToSource, result.unchanged, took.count()));
        }
        terminal.reset();
        WriteRunLog(m_bRunFailed ? res::kLogError : res::kLogOk, RunLogDetail);
        if (m_bRunFailed) {
            platform::PrintMessage(res::kLogError);  // after the run's message, which Report printed
        }
        if (const int signal = platform::StopSignal()) {
            // The shell's convention for a program ended by a signal; a run that had done all its work
            // when the signal came ended "OK!" and says so with 0.
            RequestQuit(m_bRunFailed ? 128 + signal : 0);
        }
    } else {
        WriteRunLog(res::kLogGeneralError, RunLogDetail);
        // Off a terminal too: cron mails what a script prints, and a run that did not start must be seen.
        platform::PrintMessage(std::string(res::kLogGeneralError) + " " +
                               RefusalReason(m_strSourceDir, m_strDestinationDir, m_strAskedDestination));
        m_nExitCode = 1;
    }
    AlertIfFailed();
}

void CMainDlg::RequestQuit(int exitCode) {
    m_bQuitRequested = true;
    m_nExitCode = exitCode;
}

void CMainDlg::ParseCommandLine() {
    m_bAlert = m_bAutoQuit = m_bAutoSynchronize = m_bAutoBackup = 0;
    bool debug = false;
    if (m_arguments.size() < 2) {
        return;
    }
    for (size_t i = 1; i < m_arguments.size(); ++i) {
        const std::string& arg = m_arguments[i];
        const Argument parsed = ClassifyArgument(arg);
        switch (parsed.option) {
            case Option::Usage:
                ShowUsage();
                RequestQuit(m_nExitCode);
                break;
            case Option::Explorer:
                m_strSourceDir = GetCurrentFolder();
                NormalizeFolder(m_strSourceDir);
                break;
            case Option::SrcDir:
                m_strSourceDir = parsed.value;
                NormalizeFolder(m_strSourceDir);
                break;
            case Option::DestDir:
                m_strDestinationDir = parsed.value;
                NormalizeFolder(m_strDestinationDir);
                break;
            case Option::Debug:
                debug = true;
                break;
            case Option::Backup:
                m_bAutoBackup = 1;
                break;
            case Option::Synchronize:
                m_bAutoSynchronize = 1;
                break;
            case Option::Quit:
                m_bAutoQuit = 1;
                break;
            case Option::Alert:
                m_bAlert = 1;
                break;
            case Option::Other:
                // "--help" beside other arguments lands here too: only alone is it answered at once.
                Report(res::kInvalidParameter + arg, kMbOk, 0);
                break;
        }
    }
    if (debug) {
        std::string listing;
        for (size_t i = 1; i < m_arguments.size(); ++i) {
            listing += m_arguments[i] + "\n";
        }
        Report(listing, kMbOk, 0);
    }
}

void CMainDlg::ShowUsage() {
    if (IsHeadless()) {
        PrintUsage();
        std::fflush(stdout);
        return;
    }
    CUsageDlg usage(this);
    usage.exec();
}

int CMainDlg::Report(const std::string& text, unsigned type, unsigned /*helpId*/) {
    if (IsAutoRun()) {
        m_bRunFailed = 1;  // a start that said something is no clean one, until a run clears the mark
        WriteRunLog(text, RunLogDetail);
        platform::PrintMessage(text);
        return -1;
    }
    return MessageBox(text, type);
}

void CMainDlg::AlertIfFailed() {
    if (m_bAlert && m_bRunFailed) {
        MessageBox(res::kAutoRunErrors, kMbOk);
    }
}

std::string CMainDlg::GetDestinationDir() {
    if (IsAutoRun()) {
        return m_strDestinationDir;
    }
    return m_tree->GetSelectedPath();
}

bool CMainDlg::CanStart() {
    // Judged on the folders as they are now: a link may have been put where a folder was.
    const std::string source = platform::ResolvedFolder(m_strSourceDir);
    const std::string destination = platform::ResolvedFolder(m_strDestinationDir);
    bool holds = RunPreconditionHolds(source, destination);
    m_btnStart->setEnabled(holds);
    ShowStartHint(holds ? std::string() : StartHint(source, destination, platform::PathExists));
    return holds;
}
