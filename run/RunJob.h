// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One run, from its copied request to its one result. The decide phase holds both roots, guards and
// locks the trees of a check-in or check-out, scans and builds the work list; the job list then asks the
// person on the user-interface thread; the execute phase carries out the work list and unlocks. Start
// runs both phases on the run's own thread, Run runs everything on the calling thread. Created, started
// and destroyed on the user-interface thread; the phases never overlap, so the run state below has one
// owner at a time.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QObject>
#include <QPointer>
#include <QThread>

#include "engine/CheckInOut.h"
#include "engine/RunHost.h"

class CDirScanner;
class CJobListDlg;
class CProgressDlg;
class CWorkListBuilder;
class QWidget;
namespace platform {
class CHeldRoots;
}

// What a run is given, copied before it starts.
struct RunRequest {
    int mode = 0;                // a RunMode
    std::string sourceDir;       // both resolved once more when the run starts
    std::string destinationDir;
    std::string askedDestination;  // as the command line or the settings file named it, for a refusal
    std::string ignore;            // the effective ignore list
    bool unattended = false;       // no job list; messages go to the run log and standard error
    bool alert = false;            // "/alert": an unattended run's message is also shown in a box
    bool createFolderFile = false;  // "CreateRvx": write the source folder's settings file when missing
    int keepReplacedDays = 0;       // the global "KeepReplacedDays"
    std::string folderKeepReplaced;  // the source folder's own entry
};

// What a run delivers, once, at its end.
struct RunResult {
    std::string problem;    // the run's first message; empty when it had none
    bool executed = false;  // the work list was carried out
    // The work-list item whose execution stopped the run: its position and relative path, or -1 and
    // empty when the run did not fail or failed before or after its items.
    int failedPosition = -1;
    std::string failedItem;
    int copiedToDestination = 0;
    int copiedToSource = 0;
    int unchanged = 0;
    // The folders the run worked on, resolved and in normal form.
    std::string sourceDir;
    std::string destinationDir;
    bool Failed() const { return !problem.empty(); }
};

// Why a run between source and destination is refused, in one line for a person: a missing folder, or
// a pair that does not fit (askedDestination names a destination that is missing).
std::string RefusalReason(const std::string& sourceDir, const std::string& destinationDir,
                          const std::string& askedDestination);

class CRunJob final : public QObject, public IRunHost {
    Q_OBJECT

  public:
    // progress: the run's progress display (a CProgressLink or a CTerminalProgress) or null; it outlives
    // the run. window: the job list's parent. progressWindow: raised after the job list. personAway:
    // true when nobody may be looking at the program (user-interface thread); a run that ends unseen
    // says so in a desktop notice.
    CRunJob(RunRequest request, IProgress* progress, QWidget* window, QPointer<CProgressDlg> progressWindow = {},
            std::function<bool()> personAway = {});
    // Waits for the run's thread.
    ~CRunJob() override;
    CRunJob(const CRunJob&) = delete;
    CRunJob& operator=(const CRunJob&) = delete;

    // The whole run on the calling thread, the job list included unless the run is unattended.
    RunResult Run();
    // Starts the run on its own thread; Finished follows on the user-interface thread. False when no
    // thread could be created (nothing has happened then).
    [[nodiscard]] bool Start();

    // IRunHost, from the run's thread. Report shows a box (blocking until it is answered) or, unattended,
    // writes the run log and standard error; the first text becomes the result's problem.
    int Report(const std::string& text, unsigned type, unsigned helpId) override;
    void EnableMainWindow(bool enable) override;
    IProgress* Progress() override { return m_progress; }
    bool StopRequested() override;

    // An answer for the job list in place of the person.
    static void TestSetJobListAnswer(std::function<int(CJobListDlg& dialog)> answer);

  signals:
    // After Start: once, on the user-interface thread, when the run's thread has ended.
    void Finished(const RunResult& result);
    // The executor's request; from the run's thread it arrives queued.
    void MainWindowEnabled(bool enable);

  private:
    void Decide();
    // Carries out builder's items between the run's folders; counts what was copied and notes where
    // it stopped.
    void ExecuteWorkList(const CWorkListBuilder& builder);
    // User-interface thread, between the phases of Start: the job list, then the execute phase.
    void AfterDecide();
    // User-interface thread: true when the person confirms the job list.
    bool ShowJobList();
    // Requires: Decide has run. Executes when confirmed, unlocks, and ends the run.
    void Execute(bool confirmed);
    void StartKeepingVersions();
    // Unlocks what the run locked and reports text as the message that ends the run.
    void Fail(const std::string& text);
    // A desktop notice with the run's outcome when nobody may be looking (an interactive run only).
    void NotifyIfUnseen(const std::string& outcome);
    // Runs fn on the user-interface thread and waits for it; calls it directly when already there.
    void OnUiThread(const std::function<void()>& fn);

    const RunRequest m_request;
    IProgress* const m_progress;
    QWidget* const m_window;
    const QPointer<CProgressDlg> m_progressWindow;
    const std::function<bool()> m_personAway;
    const std::chrono::steady_clock::time_point m_start;

    // Run state: the decide phase, the job list and the execute phase each own it in turn.
    std::string m_sourceDir;
    std::string m_destinationDir;
    std::string m_versionStamp;  // the run's version folder name; empty when nothing is kept
    CCheckInOutState m_checkState;
    bool m_bLocked = false;    // the check-in/out lock is on the trees
    bool m_bReported = false;  // a message has been shown (the run ends with it)
    // Both roots held from the decide phase to the run's end, the unlock included: a root swapped for a
    // link later leads nowhere, since every scan, lock, copy and flush opens the folder held.
    std::unique_ptr<platform::CHeldRoots> m_roots;
    std::unique_ptr<CDirScanner> m_sourceScan;
    std::unique_ptr<CDirScanner> m_destinationScan;
    std::unique_ptr<CWorkListBuilder> m_builder;  // null when the run ended in the decide phase
    RunResult m_result;

    // The run's thread runs an event loop; m_onThread lives there and carries each phase to it.
    QThread m_thread;
    QObject m_onThread;
};
