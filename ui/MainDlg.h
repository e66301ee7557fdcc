// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main dialog, the program's hub: window and handlers (ui/MainDlgWindow.cpp), start-up and command
// line (run/MainDlgInit.cpp, run/CommandLine.cpp), settings (run/MainDlgSettings.cpp), the job runner
// (run/MainDlgRun.cpp) and the start of interactive runs (run/MainDlgThread.cpp). User-interface thread
// only: a run copies what it needs into its run object (run/RunJob.h), which has the run's state.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <QPointer>

class CDirTreeCtrl;
class CJobListDlg;
class CMenuButton;
class CProgressDlg;
class CProgressLink;
class CRunJob;
class IProgress;
struct RunRequest;
struct RunResult;
class QLabel;
class QLineEdit;
class QMimeData;
class QTreeWidgetItem;
class QPushButton;

class CMainDlg final : public QDialog {
    Q_OBJECT

  public:
    explicit CMainDlg(std::vector<std::string> arguments, QWidget* parent = nullptr);
    ~CMainDlg() override;
    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    // Runs the initialisation and, unless it asked to end the program, the dialog modally.
    // Returns the process's exit code.
    int DoModal();

    // Start-up and command line.
    bool OnInitDialog();
    void ParseCommandLine();
    bool IsAutoRun() const { return m_bAutoBackup || m_bAutoSynchronize; }
    // Start-up messages: a box, or in unattended use the run log and standard error.
    int Report(const std::string& text, unsigned type, unsigned helpId);
    void AlertIfFailed();
    std::string GetDestinationDir();
    bool CanStart();
    // Takes folder as the source, as a command line would (saved with the settings), and re-reads its
    // settings file; nothing while a run exists.
    void SetSourceFolder(const std::string& folder);
    // The one local folder a drag carries, with trailing "/"; "" for anything else.
    static std::string DroppedFolder(const QMimeData* mime);
    bool QuitRequested() const { return m_bQuitRequested; }
    int ExitCode() const { return m_nExitCode; }

    // Settings and the per-folder settings file.
    void ExchangeSettings(int mode);
    void ReadFolderFile();

    // Runs, each by a run object: RunJob on this thread, the four commands on the run's own thread.
    void RunJob(int mode);
    void OnBackup();
    void OnSynchronize();
    void OnCheckIn();
    void OnCheckOut();
    // Enables or disables the window for the executor; while an interactive run exists it stays disabled.
    void EnableMainWindow(bool enable);

    // Test hooks: the clock of the date guard, and an answer for the job list in place of the person.
    static void TestSetUtcYear(std::function<int()> utcYear);
    static void TestSetJobListAnswer(std::function<int(CJobListDlg& dialog)> answer);
    CDirTreeCtrl* TestTree() const { return m_tree; }
    CMenuButton* TestStartButton() const { return m_btnStart; }
    bool TestRunActive() const { return m_bRunActive; }

    // The settings record.
    std::string m_strDestinationDir;
    // The destination as the command line or the folder's settings file named it, also when it is
    // missing: what the run log and a refusal name.
    std::string m_strAskedDestination;
    std::string m_strSourceDir;
    std::string m_strEffectiveIgnore;
    std::string m_strIgnore;
    std::string m_strFolderIgnore;
    int m_bCreateRvx = 0;
    int m_bEnableCheckInOut = 0;
    // Days a replaced file is kept ("KeepReplacedDays", 0 = not kept), and the source folder's own
    // entry ("+" or missing: the global one).
    int m_nKeepReplacedDays = 0;
    std::string m_strFolderKeepReplaced;

    // Command-line flags.
    int m_bAutoBackup = 0;
    int m_bAutoSynchronize = 0;
    int m_bAutoQuit = 0;
    // An unattended start or run that reported a message.
    int m_bRunFailed = 0;
    int m_bAlert = 0;

    // The current interactive run's progress window.
    QPointer<CProgressDlg> m_pProgressDlg;

  protected:
    void accept() override;  // Enter: the hidden default button
    void reject() override;  // Quit, Esc, close box
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Window (ui/MainDlgWindow.cpp).
    void CreateControls();
    void OnSelChangedTree();
    void OnDblClkTree();
    void OnConfigure();
    void OnHelpButton();
    void OnOK();
    void OnCancel();
    void OnAbout();
    // The window's context menu at a point on the screen: About, and for a folder of the tree
    // (treeItem) "Use as Source Folder".
    void ShowContextMenu(const QPoint& globalPos, QTreeWidgetItem* treeItem);
    // The status line and the Start button's tooltip: why Start is disabled, or nothing.
    void ShowStartHint(const std::string& hint);
    // Shift+F10 and the Menu key: the menu at the focused control (the tree: its current row).
    void ShowContextMenuAtFocus();
    void OnDestroy();
    void ApplyCheckInOutGreying();
    void ShowSourceAndDestination();

    // Start-up pieces (run/MainDlgInit.cpp).
    void RequestQuit(int exitCode);
    void ShowUsage();
    void RunUnattended(int mode);

    // Runs (run/MainDlgRun.cpp, run/MainDlgThread.cpp).
    void StartRun(int mode);
    RunRequest RunRequestFor(int mode);
    // Runs mode on this thread with progress (or none) and takes its result.
    RunResult RunHere(int mode, IProgress* progress);
    void TakeRunResult(const RunResult& result);

    const std::vector<std::string> m_arguments;
    QIcon m_hIcon;

    // Controls, owned by the dialog.
    CMenuButton* m_btnStart = nullptr;
    QLineEdit* m_edSource = nullptr;
    QLineEdit* m_edDestination = nullptr;
    CDirTreeCtrl* m_tree = nullptr;
    QLabel* m_stStatus = nullptr;

    bool m_bQuitRequested = false;
    int m_nExitCode = 0;
    bool m_bDestroyed = false;
    // True from a Start command until the run's thread has ended: one run at a time.
    bool m_bRunActive = false;
    // The interactive run and its progress link, from a Start command until the run's thread has ended.
    std::unique_ptr<CProgressLink> m_pProgressLink;
    std::unique_ptr<CRunJob> m_pRun;
    // Since when no window of the program has had the keyboard (invalid while one has).
    QElapsedTimer m_inactiveSince;
};
