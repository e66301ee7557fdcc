// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/RunJob.h"

#include "engine/DirScanner.h"
#include "engine/Executor.h"
#include "engine/GenericException.h"
#include "engine/KeptVersions.h"
#include "engine/WorkList.h"
#include "engine/WorkListBuilder.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/HeldRoots.h"
#include "platform/Signals.h"
#include "platform/Terminal.h"
#include "platform/Versions.h"
#include "res/Strings.h"
#include "run/CommandLine.h"
#include "run/FolderSettings.h"
#include "run/ProgressLink.h"
#include "run/RunLog.h"
#include "run/TerminalProgress.h"
#include "support/PathUtil.h"
#include "ui/DesktopNotice.h"
#include "ui/JobListDlg.h"
#include "ui/MessageBox.h"
#include "ui/ProgressDlg.h"
#include "ui/Text.h"

namespace {

std::function<int(CJobListDlg&)>& JobListAnswer() {
    static std::function<int(CJobListDlg&)> answer;
    return answer;
}

}  // namespace

std::string RefusalReason(const std::string& sourceDir, const std::string& destinationDir,
                          const std::string& askedDestination) {
    const std::string source = platform::ResolvedFolder(sourceDir);
    if (source.empty() || !platform::PathExists(source)) {
        return res::kRefusedNoSource + source;
    }
    if (destinationDir.empty()) {
        return res::kRefusedNoDestination + askedDestination;
    }
    return res::kRefusedPair;
}

void CRunJob::TestSetJobListAnswer(std::function<int(CJobListDlg&)> answer) {
    JobListAnswer() = std::move(answer);
}

CRunJob::CRunJob(RunRequest request, IProgress* progress, QWidget* window, QPointer<CProgressDlg> progressWindow,
                 std::function<bool()> personAway)
    : m_request(std::move(request)),
      m_progress(progress),
      m_window(window),
      m_progressWindow(std::move(progressWindow)),
      m_personAway(std::move(personAway)),
      m_start(std::chrono::steady_clock::now()),
      m_sourceDir(m_request.sourceDir),
      m_destinationDir(m_request.destinationDir) {}

CRunJob::~CRunJob() {
    m_thread.quit();
    m_thread.wait();
}

RunResult CRunJob::Run() {
    Decide();
    Execute(m_builder && (m_request.unattended || ShowJobList()));
    return m_result;
}

bool CRunJob::Start() {
    Q_ASSERT(QThread::currentThread() == thread());
    m_onThread.moveToThread(&m_thread);
    // Everything the run's thread posted to this thread has been delivered before this signal.
    connect(&m_thread, &QThread::finished, this, [this] { emit Finished(m_result); });
    m_thread.start();
    if (!m_thread.isRunning() && !m_thread.isFinished()) {
        return false;
    }
    // The job list comes between the phases: the run's thread waits for it in its event loop, not in a
    // call into the user-interface thread.
    QMetaObject::invokeMethod(&m_onThread, [this] {
        Decide();
        QMetaObject::invokeMethod(this, &CRunJob::AfterDecide, Qt::QueuedConnection);
    });
    return true;
}

void CRunJob::AfterDecide() {
    const bool confirmed = m_builder && (m_request.unattended || ShowJobList());
    QMetaObject::invokeMethod(&m_onThread, [this, confirmed] {
        Execute(confirmed);
        m_thread.quit();
    });
}

void CRunJob::Decide() {
    m_destinationDir = platform::ResolvedFolder(m_destinationDir);
    m_sourceDir = platform::ResolvedFolder(m_sourceDir);
    if (m_request.createFolderFile) {
        CreateFolderFile(m_sourceDir, m_destinationDir);
    }
    StartKeepingVersions();
    try {
        m_roots = std::make_unique<platform::CHeldRoots>();
        std::string root;
        if (!m_roots->Hold({m_sourceDir, m_destinationDir}, root)) {
            RaisePathError(root, platform::LastError());
        }
        // Judged once more on the folders just held: the run works on nothing else.
        if (!RunPreconditionHolds(m_sourceDir, m_destinationDir)) {
            throw CGenericException(RefusalReason(m_sourceDir, m_destinationDir, m_request.askedDestination));
        }
        const int mode = m_request.mode;
        if (mode == RunCheckIn || mode == RunCheckOut) {
            if (!CheckInOutGuard(mode, m_sourceDir, m_destinationDir, m_checkState, *this)) {
                return;  // refused, and said so
            }
            LockTrees(m_sourceDir, m_destinationDir, m_checkState);
            m_bLocked = true;
        }
        m_sourceScan = std::make_unique<CDirScanner>(m_sourceDir, m_request.ignore, m_progress);
        // Nothing looks at a destination file's archive bit: leave it unread, a system call per file.
        m_destinationScan = std::make_unique<CDirScanner>(m_destinationDir, m_request.ignore, m_progress, false);
        auto builder = std::make_unique<CWorkListBuilder>(*m_sourceScan, *m_destinationScan, m_progress);
        builder->ApplyRunMode(mode);
        m_builder = std::move(builder);
    } catch (const CGenericException& e) {
        Fail(e.GetMessageText());
    }
}

bool CRunJob::ShowJobList() {
    Q_ASSERT(QThread::currentThread() == thread());
    if (auto* link = dynamic_cast<CProgressLink*>(m_progress)) {
        link->Flush();  // the progress window shows where the run stands behind the list
    }
    CJobListDlg dialog(m_builder.get(), m_request.mode, m_window);
    const int answer = JobListAnswer() ? JobListAnswer()(dialog) : dialog.exec();
    // The keyboard goes back to the progress window, not to the disabled main window, so that Enter or
    // Esc can still close it during the copies.
    if (m_progressWindow && !m_progressWindow->IsDestroyed()) {
        m_progressWindow->raise();
        m_progressWindow->activateWindow();
    }
    return answer == kIdOk;
}

void CRunJob::Execute(bool confirmed) {
    if (m_builder) {
        try {
            if (confirmed) {
                ExecuteWorkList(*m_builder);
                m_result.executed = true;
            }
            if (m_bLocked) {
                // Also after a run without the job list: leaving both trees locked would make every
                // later check-in and check-out refuse to start.
                UnlockTrees(m_request.mode, confirmed, m_sourceDir, m_destinationDir, m_checkState);
                m_bLocked = false;
            }
        } catch (const CGenericException& e) {
            Fail(e.GetMessageText());
        }
    }
    if (m_result.executed && !m_bReported) {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - m_start;
        NotifyIfUnseen(RunSummary(m_result.copiedToDestination, m_result.copiedToSource, m_result.unchanged,
                                  took.count()) +
                       ". " + res::kLogOk);
    }
    if (auto* link = dynamic_cast<CProgressLink*>(m_progress)) {
        link->Close();
    }
    m_builder.reset();
    m_destinationScan.reset();
    m_sourceScan.reset();
    m_roots.reset();
    m_result.sourceDir = m_sourceDir;
    m_result.destinationDir = m_destinationDir;
}

void CRunJob::Fail(const std::string& text) {
    if (m_bLocked) {
        // An aborted run unlocks like a cancelled one: the tree that was writable stays writable.
        UnlockTrees(m_request.mode, false, m_sourceDir, m_destinationDir, m_checkState);
        m_bLocked = false;
    }
    if (m_request.unattended) {
        Report(text, kMbOk, 0);  // the log and standard error
        if (m_request.alert) {
            MessageBox(text, kMbOk);
        }
        return;
    }
    if (m_result.problem.empty()) {
        m_result.problem = text;
    }
    if (!m_bReported) {
        m_bReported = true;
        NotifyIfUnseen(text);
    }
    MessageBox(text, kMbOk);
}

void CRunJob::StartKeepingVersions() {
    const int days = KeepReplacedDays(m_request.keepReplacedDays, m_request.folderKeepReplaced);
    if (days <= 0) {
        return;  // off: old versions stay until the user turns keeping on again or removes them
    }
    const int64_t now = platform::NowSeconds();
    // A run started within the second of the one before takes the next free second: its versions never
    // meet the earlier run's.
    const auto taken = [this](const std::string& stamp) {
        const std::string folder = std::string(kVersionsFolder) + "/" + stamp;
        return platform::PathExists(m_sourceDir + folder) || platform::PathExists(m_destinationDir + folder);
    };
    int64_t stampTime = now;
    while (taken(platform::LocalFolderStamp(stampTime)) && stampTime < now + 60) {
        ++stampTime;
    }
    m_versionStamp = platform::LocalFolderStamp(stampTime);
    // Only the program's own folders, and a failure costs the run nothing: the next run tries again.
    for (const std::string& root : {m_sourceDir, m_destinationDir}) {
        for (const std::string& line : PruneVersions(root, days, now)) {
            WriteRunLog(line, RunLogDetail);
        }
    }
}

void CRunJob::ExecuteWorkList(const CWorkListBuilder& builder) {
    m_result.failedPosition =
        ::ExecuteWorkList(*this, m_sourceDir, m_destinationDir, builder, m_request.mode, m_versionStamp);
    if (m_result.failedPosition >= 0) {
        m_result.failedItem =
            builder.m_items[static_cast<size_t>(m_result.failedPosition)].m_source.m_strName.Str();
    }
    // What a good run did, for the summary on a terminal.
    m_result.copiedToDestination = m_result.copiedToSource = m_result.unchanged = 0;
    for (const WorkItem& item : builder.m_items) {
        m_result.copiedToDestination += (item.m_nFlags & (WorkBackup | WorkCreate)) != 0;
        m_result.copiedToSource += (item.m_nFlags & WorkSynchronize) != 0;
        m_result.unchanged += (item.m_nFlags & WorkSame) != 0;
    }
}

int CRunJob::Report(const std::string& text, unsigned type, unsigned /*helpId*/) {
    if (m_result.problem.empty()) {
        m_result.problem = text;
    }
    if (m_request.unattended) {
        WriteRunLog(text, RunLogDetail);
        if (auto* terminal = dynamic_cast<CTerminalProgress*>(m_progress)) {
            terminal->Clear();  // the message starts on a line of its own
        }
        platform::PrintMessage(text);
        return -1;
    }
    if (auto* link = dynamic_cast<CProgressLink*>(m_progress)) {
        link->Flush();  // the box stands over a progress window that shows the item it is about
        // The run ends with this message; whoever is elsewhere learns of it before the box waits for them.
        if (!m_bReported) {
            m_bReported = true;
            NotifyIfUnseen(text);
        }
    }
    return MessageBox(text, type);
}

void CRunJob::EnableMainWindow(bool enable) {
    emit MainWindowEnabled(enable);
}

bool CRunJob::StopRequested() {
    return platform::StopSignal() != 0;
}

void CRunJob::NotifyIfUnseen(const std::string& outcome) {
    auto* link = dynamic_cast<CProgressLink*>(m_progress);
    if (!link || m_request.unattended) {
        return;
    }
    static const char* const kRunNames[] = {"Backup", "Synchronize", "Check In", "Check Out"};
    const int mode = m_request.mode;
    const char* name = mode >= RunBackup && mode <= RunCheckOut ? kRunNames[mode - 1] : "Run";
    OnUiThread([&] {
        if (link->IsOpen() && !(m_personAway && m_personAway())) {
            return;  // the progress window is there and the person is using the program
        }
        SendDesktopNotice(QStringLiteral("Tandrel: ") + QString::fromLatin1(name) + QStringLiteral(" ended"),
                          FromBytes(m_sourceDir + " \u2192 " + m_destinationDir + "\n" + outcome));
    });
}

void CRunJob::OnUiThread(const std::function<void()>& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
    } else {
        QMetaObject::invokeMethod(this, fn, Qt::BlockingQueuedConnection);
    }
}
