// SPDX-License-Identifier: GPL-3.0-or-later
// The command line, the reporting rule, the run precondition and the date guard of the main dialog.

#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "ui/MessageBox.h"
#include "res/Strings.h"
#include "run/CommandLine.h"
#include "support/PathUtil.h"
#include "tests/TestSupport.h"
#include "tests/run/MainDlgTestSupport.h"
#include "ui/MainDlg.h"

using main_dlg_test::CBoxRecorder;
using testing_support::CTempDir;

namespace {

std::vector<std::string> Args(std::initializer_list<const char*> rest) {
    std::vector<std::string> args{"tandrel"};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
}

}  // namespace

TEST(CommandLineTest, OptionsAreMatchedIgnoringAsciiCase) {
    struct Row {
        const char* arg;
        int backup, synchronize, quit, alert;
    } rows[] = {
        {"/!b", 1, 0, 0, 0},  {"/!BACKUP", 1, 0, 0, 0}, {"/!s", 0, 1, 0, 0},    {"/!Synchronize", 0, 1, 0, 0},
        {"/!q", 0, 0, 1, 0},  {"/!QUIT", 0, 0, 1, 0},   {"/alert", 0, 0, 0, 1}, {"/!ALERT", 0, 0, 0, 1},
        {"/!bb", 0, 0, 0, 0}, {"/!", 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        CBoxRecorder boxes;
        CMainDlg dialog(Args({row.arg}));
        dialog.ParseCommandLine();
        EXPECT_EQ(dialog.m_bAutoBackup, row.backup) << row.arg;
        EXPECT_EQ(dialog.m_bAutoSynchronize, row.synchronize) << row.arg;
        EXPECT_EQ(dialog.m_bAutoQuit, row.quit) << row.arg;
        EXPECT_EQ(dialog.m_bAlert, row.alert) << row.arg;
        bool known = row.backup || row.synchronize || row.quit || row.alert;
        EXPECT_EQ(boxes.texts.size(), known ? 0u : 1u) << row.arg;
    }
}

TEST(CommandLineTest, FolderOptionsTakeTheRestAsWrittenAndTheLaterWins) {
    CBoxRecorder boxes;
    CMainDlg dialog(Args({"/SRCDIR:/data/a", "/destdir:/save/x", "/srcdir:/data/b", "/DestDir:"}));
    dialog.ParseCommandLine();
    EXPECT_EQ(dialog.m_strSourceDir, "/data/b/");
    EXPECT_EQ(dialog.m_strDestinationDir, "/");  // nothing after the colon
    EXPECT_TRUE(boxes.texts.empty());
}

TEST(CommandLineTest, ExplorerTakesTheWorkingDirectoryWhateverFollows) {
    CBoxRecorder boxes;
    CMainDlg dialog(Args({"/srcdir:/elsewhere", "/explorer:/ignored/text"}));
    dialog.ParseCommandLine();
    std::string cwd = GetCurrentFolder();
    EXPECT_EQ(dialog.m_strSourceDir, cwd);
    EXPECT_EQ(cwd.back(), '/');
}

TEST(CommandLineTest, InvalidArgumentGoesToABoxBeforeARunAndToTheLogAfterIt) {
    {
        CBoxRecorder boxes;
        CMainDlg dialog(Args({"/bogus", "/!b"}));
        dialog.ParseCommandLine();
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0], "Invalid parameter: /bogus");
        EXPECT_EQ(dialog.m_bRunFailed, 0);
    }
    {
        CBoxRecorder boxes;
        CMainDlg dialog(Args({"/!b", "/bogus"}));
        dialog.ParseCommandLine();
        EXPECT_TRUE(boxes.texts.empty());
        EXPECT_EQ(dialog.m_bRunFailed, 1);  // the mark stays until the run clears it
    }
}

TEST(CommandLineTest, DebugListsEveryArgumentAfterTheLoop) {
    CBoxRecorder boxes;
    CMainDlg dialog(Args({"/debug", "/srcdir:/a b", "/!q"}));
    dialog.ParseCommandLine();
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "/debug\n/srcdir:/a b\n/!q\n");
}

TEST(CommandLineTest, HelpShowsUsageAndAsksToEndWithZero) {
    SetHeadless(true);  // usage rows go to standard output instead of a dialog
    for (const char* option : {"/?", "/h", "/HELP"}) {
        CBoxRecorder boxes;
        CMainDlg dialog(Args({option, "/!b"}));
        testing::internal::CaptureStdout();
        dialog.ParseCommandLine();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(dialog.QuitRequested()) << option;
        EXPECT_EQ(dialog.ExitCode(), 0) << option;
        EXPECT_EQ(dialog.m_bAutoBackup, 1) << option << ": parsing goes on after the help";
        EXPECT_FALSE(out.empty()) << option;
    }
    SetHeadless(false);
}

TEST(RunPreconditionTest, EachConditionFailsAlone) {
    struct Row {
        const char* name;
        const char* source;
        const char* destination;
        bool holds;
    } rows[] = {
        {"same last name, outside", "/home/u/Data/", "/media/stick/Data/", true},
        {"last names differ only in case", "/home/u/Data/", "/media/stick/DATA/", true},
        {"destination from the tree without its slash", "/home/u/Data/", "/media/stick/Data", true},
        {"identical", "/home/u/Data/", "/home/u/Data/", false},
        {"identical but for the trailing slash", "/home/u/Data/", "/home/u/Data", false},
        {"destination inside the source", "/home/u/Data/", "/home/u/Data/Data/", false},
        {"the source's path repeated on another medium", "/home/u/Data/", "/media/usb/home/u/Data/", true},
        {"a sibling whose name begins like the source", "/home/u/Data/", "/home/u/Data2/x/Data/", true},
        {"too short", "D/", "/a/D/", false},
        {"source inside the destination", "/m/Data/x/Data/", "/m/Data/", false},
        {"different last names", "/home/u/Data/", "/media/stick/Work/", false},
        {"empty destination", "/home/u/Data/", "", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RunPreconditionHolds(row.source, row.destination), row.holds) << row.name;
    }
    EXPECT_EQ(LastFolderName("/work/Project/"), "Project");
    EXPECT_EQ(LastFolderName("Project/"), "Project");
}

// The sentence that says why Start is disabled names the first thing a person has to change.
TEST(RunPreconditionTest, StartHintNamesWhatToChangeFirst) {
    const auto exists = [](const std::string& folder) { return folder.find("gone") == std::string::npos; };
    const std::string noDestination = std::string(res::kHintNoDestination) + "Data\".";
    const std::tuple<const char*, const char*, std::string> rows[] = {
        {"/", "/media/Data/", res::kHintNoSource},
        {"/home/gone/Data/", "/media/Data/", std::string(res::kHintSourceMissing) + "/home/gone/Data/"},
        {"/home/Data", "/", noDestination},
        {"/home/Data/", "/media/gone/Data/", noDestination},
        {"/home/Data/x/Data/", "/home/Data/", res::kHintInside},
        {"/home/Data/", "/media/Work/",
         std::string(res::kHintNamesDiffer) + "Work\" and \"Data" + res::kHintNamesDifferEnd},
        {"/home/Data/", "/media/DATA", ""},
    };
    for (const auto& [source, destination, hint] : rows) {
        EXPECT_EQ(StartHint(source, destination, +exists), hint) << source << " " << destination;
    }
}

// The precondition judges the folders the run would touch, however they are spelled: a relative source,
// "..", and a link into the other tree all resolve first, and the run keeps the resolved forms.
TEST(RunPreconditionTest, JudgesResolvedFoldersWhateverTheirSpelling) {
    CTempDir dir;
    const std::string base = platform::ResolvedFolder(dir.Path());  // $TMPDIR may itself be a link
    testing_support::MakeFolder(dir / "Data/sub/Data");
    testing_support::MakeFolder(dir / "other/Data");
    ASSERT_EQ(symlink((dir / "Data").c_str(), (dir / "into").c_str()), 0);
    struct Row {
        const char* name;
        std::string source;
        std::string destination;
        bool holds;
    };
    const Row rows[] = {
        {"relative source, destination inside it", "Data", dir / "Data/sub/Data", false},
        {"relative source, destination elsewhere", "Data", dir / "other/Data", true},
        {"a .. in the destination leads inside the source", dir / "Data", dir / "other/../Data/sub/Data",
         false},
        {"a link leads into the source", dir / "Data", dir / "into/sub/Data", false},
        {"a link leads to the source itself", dir / "into", dir / "Data", false},
    };
    const std::string cwd = platform::CurrentFolder();
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    for (const Row& row : rows) {
        CBoxRecorder boxes;
        CMainDlg dialog(
            Args({("/srcdir:" + row.source).c_str(), ("/destdir:" + row.destination).c_str(), "/!q"}));
        ASSERT_TRUE(dialog.OnInitDialog()) << row.name;
        EXPECT_EQ(dialog.CanStart(), row.holds) << row.name;
        EXPECT_EQ(dialog.m_strSourceDir.rfind(base, 0), 0u) << row.name << ": " << dialog.m_strSourceDir;
        EXPECT_EQ(dialog.m_strSourceDir.find(".."), std::string::npos) << row.name;
    }
    ASSERT_EQ(chdir(cwd.c_str()), 0);
}

TEST(DateGuardTest, AYearAfter2035StopsTheInitialisation) {
    CTempDir dir;
    struct Row {
        int year;
        bool stops;
    } rows[] = {{2035, false}, {2036, true}};
    for (const Row& row : rows) {
        CMainDlg::TestSetUtcYear([&] { return row.year; });
        CBoxRecorder boxes;
        std::string src = dir / "Data";
        CMainDlg dialog(Args({("/srcdir:" + src).c_str(), "/!q"}));
        bool result = dialog.OnInitDialog();
        EXPECT_EQ(result, !row.stops) << row.year;
        if (row.stops) {
            ASSERT_EQ(boxes.texts.size(), 1u);
            EXPECT_EQ(boxes.texts[0],
                      "This version of Tandrel does not work if year > 2035\nTry to get a newer version!");
            EXPECT_EQ(boxes.types[0], kMbIconHand);
            EXPECT_FALSE(dialog.QuitRequested()) << "the command line is not parsed";
        } else {
            EXPECT_TRUE(dialog.QuitRequested());
            EXPECT_EQ(dialog.m_strSourceDir, src + "/");
        }
    }
    CMainDlg::TestSetUtcYear({});
}
