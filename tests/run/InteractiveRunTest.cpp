// SPDX-License-Identifier: GPL-3.0-or-later
// Interactive runs from the Start menu: the progress window, the worker thread and the main window's
// states across whole runs on real trees.

#include <string>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <gtest/gtest.h>

#include "engine/WorkList.h"
#include "res/Resources.h"
#include "tests/TestSupport.h"
#include "tests/run/MainDlgTestSupport.h"
#include "ui/DialogLayout.h"
#include "ui/ProgressDlg.h"

using main_dlg_test::CBoxRecorder;
using main_dlg_test::CTreePair;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::SetModTime;
using testing_support::WriteFile;

namespace {

// What the progress window and the main window showed when the job list came up.
struct CJobListMoment {
    std::string progressCaption;
    std::string progressText;
    int barMaximum = -1;
    bool mainEnabled = true;
    int calls = 0;
};

std::vector<std::string> Args(const CTreePair& trees) {
    return {"tandrel", "/srcdir:" + trees.source, "/destdir:" + trees.destination};
}

// Notes whether the main window ever becomes usable while a progress window still shows.
class CEnableWatch final : public QObject {
  public:
    explicit CEnableWatch(CMainDlg& dialog) : m_dialog(dialog) { dialog.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange && m_dialog.isEnabled()) {
            for (const QWidget* window : QApplication::topLevelWidgets()) {
                m_bEnabledBesideProgress |= qobject_cast<const CProgressDlg*>(window) && window->isVisible();
            }
        }
        return false;
    }
    bool m_bEnabledBesideProgress = false;

  private:
    CMainDlg& m_dialog;
};

bool WaitForRunEnd(CMainDlg& dialog) {
    return QTest::qWaitFor([&] { return !dialog.TestRunActive() && dialog.isEnabled(); }, 20000);
}

}  // namespace

TEST(InteractiveRunTest, ABackupRunsOnTheWorkerBehindTheProgressWindow) {
    CTreePair trees;
    for (int i = 0; i < 5; ++i) {
        WriteFile(trees.source + "/top" + std::to_string(i) + "/f.txt", "x");
    }
    CBoxRecorder boxes;
    CJobListMoment moment;
    CMainDlg dialog(Args(trees));
    ASSERT_TRUE(dialog.OnInitDialog());
    CEnableWatch watch(dialog);
    CMainDlg::TestSetJobListAnswer([&](CJobListDlg&) {
        ++moment.calls;
        CProgressDlg* progress = dialog.m_pProgressDlg;
        if (progress) {
            moment.progressCaption = progress->windowTitle().toStdString();
            moment.progressText = DlgItem<QLabel>(progress, res::IDC_PROGRESS_TEXT)->text().toStdString();
            moment.barMaximum = DlgItem<QProgressBar>(progress, res::IDC_PROGRESS_BAR)->maximum();
        }
        moment.mainEnabled = dialog.isEnabled();
        return kIdOk;
    });

    dialog.OnBackup();
    ASSERT_TRUE(dialog.m_pProgressDlg) << "the progress window opens at once";
    EXPECT_EQ(dialog.m_pProgressDlg->windowTitle().toStdString(), "TD");
    EXPECT_FALSE(dialog.isEnabled());
    dialog.OnBackup();  // a second command while the first run exists starts nothing

    ASSERT_TRUE(WaitForRunEnd(dialog));
    CMainDlg::TestSetJobListAnswer({});
    EXPECT_EQ(moment.calls, 1);
    EXPECT_FALSE(moment.mainEnabled);
    EXPECT_EQ(moment.progressCaption, "Creating worklist 2/2");
    EXPECT_EQ(moment.barMaximum, 0) << "pass 2 runs its bar over the destination's files (none)";
    EXPECT_FALSE(dialog.m_pProgressDlg) << "the runner closed the progress window";
    EXPECT_FALSE(watch.m_bEnabledBesideProgress);
    EXPECT_TRUE(Exists(trees.destination + "/top4/f.txt"));
    EXPECT_TRUE(boxes.texts.empty());
}

TEST(InteractiveRunTest, AFailedItemShowsTheRunTitleAndTheMessage) {
    CTreePair trees;
    WriteFile(trees.source + "/a.txt", "old source");
    WriteFile(trees.destination + "/a.txt", "newer destination");
    SetModTime(trees.source + "/a.txt", 1000000000);
    SetModTime(trees.destination + "/a.txt", 1000000001);
    CMainDlg dialog(Args(trees));
    std::string captionAtMessage;
    std::string text;
    SetMessageBoxHook([&](const std::string& message, unsigned) {
        // The box comes from the worker: read the window on its own thread.
        QMetaObject::invokeMethod(
            &dialog,
            [&] {
                if (dialog.m_pProgressDlg) {
                    captionAtMessage = dialog.m_pProgressDlg->windowTitle().toStdString();
                }
            },
            Qt::BlockingQueuedConnection);
        text = message;
        return kIdOk;
    });
    ASSERT_TRUE(dialog.OnInitDialog());
    // The real job list keeps OK disabled for the undecided item; confirming anyway shows the
    // executor's own refusal, reported from the worker while the run title is up.
    CMainDlg::TestSetJobListAnswer([](CJobListDlg&) { return kIdOk; });
    dialog.OnBackup();
    ASSERT_TRUE(WaitForRunEnd(dialog));
    CMainDlg::TestSetJobListAnswer({});
    SetMessageBoxHook({});
    EXPECT_EQ(captionAtMessage, "Backup files...");
    EXPECT_EQ(text, "Unkown operation: " + trees.source + "/a.txt (source) ? " + trees.destination +
                        "/a.txt (destination)");
    EXPECT_EQ(ReadFile(trees.destination + "/a.txt"), "newer destination");
}

TEST(InteractiveRunTest, ClosingTheProgressWindowEarlyLetsTheRunFinishWithoutIt) {
    CTreePair trees;
    WriteFile(trees.source + "/a.txt", "a");
    CBoxRecorder boxes;
    CMainDlg dialog(Args(trees));
    ASSERT_TRUE(dialog.OnInitDialog());
    CEnableWatch watch(dialog);
    bool enabledWhileRunGoesOn = true;
    CMainDlg::TestSetJobListAnswer([&](CJobListDlg&) {
        // The progress window is gone, the run still waits here: the main window must stay disabled.
        enabledWhileRunGoesOn = dialog.isEnabled();
        return kIdOk;
    });
    dialog.OnBackup();
    ASSERT_TRUE(dialog.m_pProgressDlg);
    QTest::keyClick(dialog.m_pProgressDlg.data(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.m_pProgressDlg; }, 5000));
    ASSERT_TRUE(WaitForRunEnd(dialog));
    CMainDlg::TestSetJobListAnswer({});
    EXPECT_FALSE(enabledWhileRunGoesOn);
    EXPECT_FALSE(watch.m_bEnabledBesideProgress);
    EXPECT_TRUE(Exists(trees.destination + "/a.txt"));
    EXPECT_TRUE(boxes.texts.empty());
}

TEST(InteractiveRunTest, TwoRunsOneAfterTheOther) {
    CTreePair trees;
    WriteFile(trees.source + "/a.txt", "a");
    CBoxRecorder boxes;
    CMainDlg dialog(Args(trees));
    ASSERT_TRUE(dialog.OnInitDialog());
    int jobLists = 0;
    CMainDlg::TestSetJobListAnswer([&](CJobListDlg&) {
        ++jobLists;
        return kIdOk;
    });
    dialog.OnBackup();
    ASSERT_TRUE(WaitForRunEnd(dialog));
    WriteFile(trees.source + "/b.txt", "b");
    dialog.OnSynchronize();
    ASSERT_TRUE(dialog.m_pProgressDlg) << "the second run gets its own progress window";
    ASSERT_TRUE(WaitForRunEnd(dialog));
    CMainDlg::TestSetJobListAnswer({});
    EXPECT_EQ(jobLists, 2);
    EXPECT_TRUE(Exists(trees.destination + "/b.txt"));
}
