// SPDX-License-Identifier: GPL-3.0-or-later
// The job runner's paths on real trees: executed, cancelled, refused by the check-in/out guard and
// aborted by an exception, interactive (job list answered by the test) and unattended, and the
// check-in/out lock before and after each.

#include <cerrno>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "engine/WorkList.h"
#include "platform/FaultSeam.h"
#include "platform/FileSystem.h"
#include "run/RunJob.h"
#include "tests/TestSupport.h"
#include "tests/run/MainDlgTestSupport.h"

using main_dlg_test::CBoxRecorder;
using main_dlg_test::CJobListAnswer;
using main_dlg_test::CTreePair;
using testing_support::Exists;
using testing_support::Mode;
using testing_support::ReadFile;
using testing_support::SetMode;
using testing_support::SetModTime;
using testing_support::WriteFile;

namespace {

std::vector<std::string> Args(const CTreePair& trees, std::initializer_list<const char*> rest = {}) {
    std::vector<std::string> args{"tandrel", "/srcdir:" + trees.source, "/destdir:" + trees.destination};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
}

bool IsReadOnly(const std::string& path) {
    return (Mode(path) & 0200) == 0;
}

// Makes the trees checked in: every source file read-only, no destination file read-only.
void CheckIn(const CTreePair& trees, const std::vector<std::string>& sourceFiles) {
    for (const std::string& name : sourceFiles) {
        SetMode(trees.source + "/" + name, 0444);
    }
}

// The run object alone, unattended, backing up trees.source to trees.destination.
RunResult RunBackupAlone(const CTreePair& trees) {
    RunRequest request;
    request.mode = RunBackup;
    request.sourceDir = trees.source + "/";
    request.destinationDir = trees.destination + "/";
    request.unattended = true;
    CRunJob run(request, nullptr, nullptr);
    return run.Run();
}

}  // namespace

TEST(RunJobTest, ConfirmedInteractiveBackupCopiesAndCancelledChangesNothing) {
    for (int answer : {kIdOk, kIdCancel}) {
        CTreePair trees;
        WriteFile(trees.source + "/a.txt", "a");
        WriteFile(trees.source + "/sub/b.txt", "b");
        CBoxRecorder boxes;
        CJobListAnswer jobList(answer);
        CMainDlg dialog(Args(trees));
        ASSERT_TRUE(dialog.OnInitDialog());
        ASSERT_TRUE(dialog.TestStartButton()->isEnabled()) << "the tree's selection is the destination";
        dialog.RunJob(RunBackup);
        ASSERT_EQ(jobList.captions.size(), 1u);
        EXPECT_EQ(jobList.captions[0], "Job List (2) files");
        EXPECT_EQ(Exists(trees.destination + "/a.txt"), answer == kIdOk) << answer;
        EXPECT_EQ(Exists(trees.destination + "/sub/b.txt"), answer == kIdOk) << answer;
        EXPECT_TRUE(boxes.texts.empty());
        EXPECT_TRUE(dialog.isEnabled());
    }
}

TEST(RunJobTest, AScanThatFailsShowsOneBoxAndExecutesNothing) {
    CTreePair trees;
    WriteFile(trees.source + "/x", "a file here");
    testing_support::MakeFolder(trees.destination + "/x");  // a folder there: the pairing cannot read it
    WriteFile(trees.source + "/y", "y");
    CBoxRecorder boxes;
    CJobListAnswer jobList(kIdOk);
    CMainDlg dialog(Args(trees));
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.RunJob(RunBackup);
    EXPECT_TRUE(jobList.captions.empty());
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], trees.destination + "/x: Is a directory");
    EXPECT_FALSE(Exists(trees.destination + "/y"));
}

TEST(RunJobTest, UnattendedFailureLogsTheMessageAndAlertsTwice) {
    CTreePair trees;
    WriteFile(trees.source + "/x", "file");
    testing_support::MakeFolder(trees.destination + "/x");
    CBoxRecorder boxes;
    CMainDlg dialog(Args(trees, {"/!b", "/alert"}));
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(dialog.m_bRunFailed, 1);
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[0], trees.destination + "/x: Is a directory");
    EXPECT_EQ(boxes.texts[1], "There where autobackup errors!");
    std::string log = ReadFile(platform::StateFolder() + "TandrelAutoRun.log");
    EXPECT_NE(log.find("  ["), std::string::npos);
    EXPECT_NE(log.find("] " + trees.destination + "/x: Is a directory\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] ERROR!\n"), std::string::npos) << log;
}

// One message a run: a flush that fails after the executor's message adds none; alone it is the message.
TEST(RunJobTest, AFailedFlushGivesTheMessageOnlyWhenNoneCameBefore) {
    for (const bool executorReports : {false, true}) {
        CTreePair trees;
        WriteFile(trees.source + "/a.txt", "a");
        if (executorReports) {
            WriteFile(trees.destination + "/z.txt", "only here: a backup cannot decide it");
        }
        CBoxRecorder boxes;
        CJobListAnswer jobList(kIdOk);
        CMainDlg dialog(Args(trees));
        ASSERT_TRUE(dialog.OnInitDialog());
        platform::TestInjectFault(platform::FaultOp::Flush, 1, EIO);
        dialog.RunJob(RunBackup);
        platform::TestClearFaults();
        ASSERT_EQ(boxes.texts.size(), 1u) << executorReports;
        EXPECT_EQ(boxes.texts[0].rfind("Unkown operation: ", 0) == 0, executorReports) << boxes.texts[0];
        EXPECT_TRUE(Exists(trees.destination + "/a.txt"));
    }
}

TEST(RunJobTest, AfterAnUnattendedRunAStartCommandSkipsTheJobList) {
    CTreePair trees;
    WriteFile(trees.source + "/a.txt", "a");
    CBoxRecorder boxes;
    CJobListAnswer jobList(kIdCancel);
    CMainDlg dialog(Args(trees, {"/!b"}));
    ASSERT_TRUE(dialog.OnInitDialog());
    ASSERT_TRUE(Exists(trees.destination + "/a.txt"));
    WriteFile(trees.source + "/later.txt", "later");
    dialog.RunJob(RunBackup);
    EXPECT_TRUE(jobList.captions.empty());
    EXPECT_TRUE(Exists(trees.destination + "/later.txt"));
}

TEST(RunJobTest, CheckOutGuardRefusesWritableTreesWithAStopBox) {
    CTreePair trees;
    WriteFile(trees.source + "/a.txt", "a");  // writable: not checked in
    CBoxRecorder boxes;
    CJobListAnswer jobList(kIdOk);
    CMainDlg dialog(Args(trees));
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.RunJob(RunCheckOut);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "Already checked out!");
    EXPECT_EQ(boxes.types[0], kMbIconHand);
    EXPECT_TRUE(jobList.captions.empty()) << "nothing is scanned";
    EXPECT_FALSE(IsReadOnly(trees.source + "/a.txt"));

    dialog.RunJob(RunCheckIn);
    ASSERT_EQ(boxes.texts.size(), 1u) << "an empty destination passes the check-in guard";
}

TEST(RunJobTest, CheckOutLockStatesAfterConfirmedCancelledAbortedAndUnattendedRuns) {
    struct Row {
        const char* name;
        int answer;
        bool abort;
        bool unattended;  // no job list: the run goes ahead whatever the answer would be
        bool sourceReadOnly, destReadOnly;
    } rows[] = {
        {"confirmed", kIdOk, false, false, false, true},
        {"cancelled", kIdCancel, false, false, true, false},
        {"aborted", kIdOk, true, false, true, false},
        {"unattended", kIdCancel, false, true, false, true},
    };
    for (const Row& row : rows) {
        CTreePair trees;
        CBoxRecorder boxes;
        CJobListAnswer jobList(row.answer);
        // The unattended backup at start-up finds the source still empty.
        CMainDlg dialog(row.unattended ? Args(trees, {"/!b"}) : Args(trees));
        ASSERT_TRUE(dialog.OnInitDialog());
        WriteFile(trees.source + "/a.txt", "a");
        WriteFile(trees.source + "/d/b.txt", "b");
        if (row.abort) {
            WriteFile(trees.source + "/x", "file");
            testing_support::MakeFolder(trees.destination + "/x");
            WriteFile(trees.destination + "/only-here.txt", "writable before the run");
        }
        CheckIn(trees, row.abort ? std::vector<std::string>{"a.txt", "d/b.txt", "x"}
                                 : std::vector<std::string>{"a.txt", "d/b.txt"});
        dialog.RunJob(RunCheckOut);
        EXPECT_EQ(IsReadOnly(trees.source + "/a.txt"), row.sourceReadOnly) << row.name;
        EXPECT_EQ(IsReadOnly(trees.source + "/d/b.txt"), row.sourceReadOnly) << row.name;
        const bool executed = row.unattended || (row.answer == kIdOk && !row.abort);
        if (executed) {
            EXPECT_EQ(jobList.captions, row.unattended ? std::vector<std::string>{}
                                                       : std::vector<std::string>{"Job List (2) files"});
            EXPECT_TRUE(IsReadOnly(trees.destination + "/a.txt")) << row.name << ": the copies are locked";
            EXPECT_EQ(ReadFile(trees.destination + "/d/b.txt"), "b");
        } else {
            EXPECT_FALSE(Exists(trees.destination + "/a.txt")) << row.name;
        }
        if (row.abort) {
            EXPECT_FALSE(IsReadOnly(trees.destination + "/only-here.txt")) << "the lock is released";
        }
        // Whatever happened, the next check-out or check-in can start from the state left behind; an
        // unattended refusal goes to the run log and marks the run failed instead of showing a box.
        size_t before = boxes.texts.size();
        dialog.RunJob(executed ? RunCheckIn : RunCheckOut);
        for (size_t i = before; i < boxes.texts.size(); ++i) {
            EXPECT_EQ(boxes.texts[i].find("Already checked"), std::string::npos)
                << row.name << ": " << boxes.texts[i];
        }
        EXPECT_EQ(dialog.m_bRunFailed, 0) << row.name;
    }
}

// Keeping replaced files: the global day count, the source folder's own ("+" or no number: the global
// one), and at each run's start the removal of the program's version folders older than that.
TEST(RunJobTest, ReplacedFilesAreKeptAndPrunedAsTheSettingsSay) {
    struct Row {
        const char* name;
        int global;
        const char* rvx;  // the per-folder file's entry
        bool kept;
    };
    const Row rows[] = {
        {"off by default", 0, "", false},
        {"global days", 7, "", true},
        {"folder turns it off", 7, "KeepReplacedDays=0", false},
        {"folder turns it on", 0, "KeepReplacedDays=3", true},
        {"folder plus", 7, "KeepReplacedDays=+", true},
        {"typo counts as plus", 7, "KeepReplacedDays=3d", true},
    };
    for (const Row& row : rows) {
        CTreePair trees;
        WriteFile(trees.source + "/__TD.RVX", std::string("[TD]\n") + row.rvx + "\n");
        WriteFile(trees.source + "/f", "new");
        WriteFile(trees.destination + "/f", "old");
        SetModTime(trees.destination + "/f", 1500000000);
        WriteFile(trees.destination + "/.tandrel-versions/2001-01-01 000000/f", "from a run long ago");
        CBoxRecorder boxes;
        CJobListAnswer jobList(kIdOk);
        CMainDlg dialog(Args(trees));
        ASSERT_TRUE(dialog.OnInitDialog()) << row.name;
        dialog.m_nKeepReplacedDays = row.global;
        dialog.RunJob(RunBackup);
        dialog.m_nKeepReplacedDays = 0;  // the dialog saves its settings: no later test inherits them
        EXPECT_TRUE(boxes.texts.empty()) << row.name;
        const std::vector<std::string> kept =
            testing_support::ListTree(trees.destination + "/.tandrel-versions");
        EXPECT_EQ(kept.size(), 1u) << row.name << ": pruned and kept, or neither";
        EXPECT_EQ(kept.at(0) != "2001-01-01 000000/f", row.kept) << row.name;
    }
}

// The run object alone: its one result says what the run did and whether it failed.
TEST(RunJobTest, TheResultCarriesTheCountsAndTheFirstProblem) {
    for (const bool clash : {false, true}) {
        CTreePair trees;
        WriteFile(trees.source + "/new.txt", "new");
        for (const std::string& root : {trees.source, trees.destination}) {
            WriteFile(root + "/same.txt", "same");
            SetModTime(root + "/same.txt", 1500000000);
        }
        if (clash) {
            WriteFile(trees.source + "/x", "file");
            testing_support::MakeFolder(trees.destination + "/x");  // the pairing cannot read it
        }
        CBoxRecorder boxes;
        const RunResult result = RunBackupAlone(trees);
        EXPECT_EQ(result.problem, clash ? trees.destination + "/x: Is a directory" : "") << clash;
        EXPECT_EQ(result.executed, !clash);
        EXPECT_EQ(result.copiedToDestination, clash ? 0 : 1);
        EXPECT_EQ(result.unchanged, clash ? 0 : 1);
        EXPECT_EQ(result.copiedToSource, 0);
        EXPECT_EQ(result.destinationDir, trees.destination + "/");
        EXPECT_TRUE(boxes.texts.empty()) << "without /alert an unattended run shows nothing";
    }
}

// The result names the item whose execution stopped the run, and none when the run failed before its
// items. The four source files come first in the work list, in the order their scan listed them.
TEST(RunJobTest, TheResultCarriesThePositionOfTheFailedItem) {
    struct Row {
        const char* name;
        int failingRename;  // the copy that cannot be put in place, counted from 1; 0 for none
        const char* destinationFolder;  // a folder made in the destination only, or ""
        const char* destinationFile;    // a file made in the destination only, or ""
        int position;
    };
    const Row rows[] = {
        {"no failure", 0, "", "", -1},
        {"the first copy fails when it is put in place", 1, "", "", 0},
        {"the third copy fails when it is put in place", 3, "", "", 2},
        {"an item the backup cannot decide, after the four copies", 0, "", "z.txt", 4},
        {"the scan fails, nothing is executed", 0, "a.txt", "", -1},
    };
    for (const Row& row : rows) {
        CTreePair trees;
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
            WriteFile(trees.source + "/" + name, name);
        }
        if (*row.destinationFolder) {
            testing_support::MakeFolder(trees.destination + "/" + row.destinationFolder);
        }
        if (*row.destinationFile) {
            WriteFile(trees.destination + "/" + row.destinationFile, "only here");
        }
        platform::TestInjectFault(platform::FaultOp::CopyRename, row.failingRename, ENOSPC);
        CBoxRecorder boxes;
        const RunResult result = RunBackupAlone(trees);
        platform::TestClearFaults();
        EXPECT_EQ(result.failedPosition, row.position) << row.name;
        EXPECT_EQ(result.problem.empty(), row.position < 0 && !*row.destinationFolder) << row.name;
        if (row.position < 0) {
            EXPECT_EQ(result.failedItem, "") << row.name;
        } else {
            // The item the message is about, whatever order the scan listed the files in.
            EXPECT_EQ(result.failedItem.size(), 5u) << row.name;
            EXPECT_NE(result.problem.find(trees.source + "/" + result.failedItem + " "), std::string::npos)
                << row.name << ": " << result.problem;
        }
    }
}
