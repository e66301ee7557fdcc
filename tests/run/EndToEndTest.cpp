// SPDX-License-Identifier: GPL-3.0-or-later
// The built program, run as cron would run it: no display, no person, a run log and an exit code.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "res/Version.h"
#include "tests/TestSupport.h"

using testing_support::CTempDir;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::SetModTime;
using testing_support::ShellQuote;
using testing_support::WriteFile;

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs tandrel headless with its configuration and temporary folders inside home.
Result RunTandrel(const CTempDir& home, const std::string& arguments) {
    std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TANDREL_DEBUG" +
                      std::string(" XDG_CONFIG_HOME=") + ShellQuote(home / "config") +
                      " TMPDIR=" + ShellQuote(home.Path()) + " HOME=" + ShellQuote(home.Path()) +
                      " XDG_STATE_HOME=" + ShellQuote(home / "state");
    std::string errFile = home / "stderr.txt";
    Result result;
    result.exitCode = RunCommand("cd " + ShellQuote(home.Path()) + " && " + env + " timeout 60 " +
                                     ShellQuote(testing_support::TandrelBinary()) + " " + arguments + " 2>" +
                                     ShellQuote(errFile),
                                 &result.out);
    result.err = ReadFile(errFile);
    return result;
}

// An unattended run of src against dst with the run options given ("/!b /!q").
Result RunOn(const CTempDir& home, const std::string& src, const std::string& dst,
             const std::string& options) {
    return RunTandrel(home,
                      ShellQuote("/srcdir:" + src) + " " + ShellQuote("/destdir:" + dst) + " " + options);
}

std::string RunLog(const CTempDir& home) {
    return ReadFile(home / "state/tandrel/TandrelAutoRun.log");
}

}  // namespace

TEST(EndToEndTest, UsagePrintsItsRowsAndEndsWithZero) {
    CTempDir home;
    Result r = RunTandrel(home, "/?");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("/?, /h, /help"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Displays this help. Click Icon to get program information."), std::string::npos);
    EXPECT_NE(r.out.find("/!quit, /!q"), std::string::npos);
    EXPECT_NE(r.out.find("Close Tandrel"), std::string::npos);

    Result v = RunTandrel(home, "--version");
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out, std::string(res::kVersionLine) + "\n");
}

// What reaches a person (and cron's mail): nothing from a good run; from a failed run its message and
// "ERROR!"; from a run that cannot start, why, and the log names the folder that was asked for.
TEST(EndToEndTest, FailedAndRefusedRunsSayWhyOnStandardError) {
    struct Row {
        const char* name;
        bool newerDestination;
        bool missingDestination;
        int exitCode;
        std::vector<std::string> err;  // the lines expected on standard error; empty: nothing at all
    };
    const Row rows[] = {
        {"good run", false, false, 0, {}},
        {"failed run", true, false, 0, {"tandrel: Unkown operation: ", "tandrel: ERROR!"}},
        {"refused run", false, true, 1, {"tandrel: General Error! the destination folder does not exist: "}},
    };
    for (const Row& row : rows) {
        CTempDir home;
        const std::string src = home / "src/Data";
        const std::string dst = home / (row.missingDestination ? "gone/Data" : "dst/Data");
        WriteFile(src + "/a.txt", "a");
        if (!row.missingDestination) {
            WriteFile(dst + "/a.txt", "d");
            SetModTime(dst + "/a.txt", row.newerDestination ? 2000000000 : 1000000000);
        }
        const Result r = RunOn(home, src, dst, "/!b /!q");
        EXPECT_EQ(r.exitCode, row.exitCode) << row.name;
        size_t at = 0;
        for (const std::string& line : row.err) {
            at = r.err.find(line, at);
            EXPECT_NE(at, std::string::npos) << row.name << ": " << line << "\n" << r.err;
        }
        if (row.err.empty()) {
            EXPECT_EQ(r.err, "") << row.name;
        }
        if (row.missingDestination) {
            EXPECT_NE(r.err.find(dst), std::string::npos) << r.err;
            EXPECT_NE(RunLog(home).find("destination: " + dst + "/\n"), std::string::npos) << RunLog(home);
        }
    }
}

// Without a display the program ends after the run as "/!q" would, and says so in the log as "/!q" does.
TEST(EndToEndTest, AHeadlessRunWithoutQuitEndsWithAutoQuit) {
    CTempDir home;
    WriteFile(home / "src/Data/a.txt", "a");
    testing_support::MakeFolder(home / "dst/Data");
    const Result r = RunOn(home, home / "src/Data", home / "dst/Data", "/!b");
    EXPECT_EQ(r.exitCode, 0);
    const std::string log = RunLog(home);
    EXPECT_EQ(log.substr(log.size() - std::string("] AutoQuit!\n").size()), "] AutoQuit!\n") << log;
}

TEST(EndToEndTest, InvalidParameterIsReportedOnStandardErrorAndTheProgramEnds) {
    CTempDir home;
    Result r = RunTandrel(home, "/bogus /!q");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("Invalid parameter: /bogus"), std::string::npos) << r.err;
}

TEST(EndToEndTest, QuitAloneWritesAutoQuitUnderTheHeader) {
    CTempDir home;
    Result r = RunTandrel(home, "/!q");
    EXPECT_EQ(r.exitCode, 0);
    std::string log = RunLog(home);
    EXPECT_EQ(log.rfind("; ", 0), 0u) << log;
    EXPECT_NE(log.find("; Please send this file to Wendrik\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] AutoQuit!\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("source:"), std::string::npos) << "no run was requested";
}

TEST(EndToEndTest, WithoutADisplayTheMainWindowIsNotWaitedFor) {
    CTempDir home;
    Result r = RunTandrel(home, "");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;
    // The settings are saved however the program ends.
    EXPECT_NE(ReadFile(home / "config/tandrel/Tandrel.ini").find("[Config]"), std::string::npos);
}

TEST(EndToEndTest, UnattendedBackupCopiesLogsAndSavesTheSettings) {
    CTempDir home;
    std::string src = home / "src/Data";
    std::string dst = home / "dst/Data";
    WriteFile(src + "/a.txt", "new a");
    WriteFile(src + "/sub dir/b.txt", "b");
    WriteFile(src + "/old.bak", "ignored by the default list");
    WriteFile(dst + "/a.txt", "old a");
    SetModTime(src + "/a.txt", 2000000000);
    SetModTime(dst + "/a.txt", 1000000000);

    Result r = RunOn(home, src, dst, "/!b /!q");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "") << "without a terminal nothing is printed (cron mail stays empty)";
    EXPECT_EQ(ReadFile(dst + "/a.txt"), "new a");
    EXPECT_EQ(ReadFile(dst + "/sub dir/b.txt"), "b");
    EXPECT_FALSE(testing_support::Exists(dst + "/old.bak"));
    EXPECT_EQ(testing_support::ModTimeNs(dst + "/a.txt"), testing_support::ModTimeNs(src + "/a.txt"));

    std::string log = RunLog(home);
    EXPECT_NE(log.find("] source:      " + src + "/\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] destination: " + dst + "/\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  ["), std::string::npos);
    EXPECT_NE(log.find("] start backup...\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] OK!\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] AutoQuit!\n"), std::string::npos) << log;

    std::string ini = ReadFile(home / "config/tandrel/Tandrel.ini");
    EXPECT_NE(ini.find("m_strSourceDir=" + src + "/"), std::string::npos) << ini;
    EXPECT_NE(ini.find("m_strDestinationDir=" + dst + "/"), std::string::npos) << ini;
}

TEST(EndToEndTest, RefusedPreconditionWritesGeneralErrorAndExitsWithOne) {
    CTempDir home;
    std::string src = home / "src/Data";
    std::string dst = home / "dst/Other";
    WriteFile(src + "/a.txt", "a");
    testing_support::MakeFolder(dst);
    Result r = RunOn(home, src, dst, "/!b /!q");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(RunLog(home).find("] General Error!\n"), std::string::npos);
    EXPECT_FALSE(testing_support::Exists(dst + "/a.txt"));
}

TEST(EndToEndTest, UnattendedSynchronizeCopiesBothWays) {
    CTempDir home;
    std::string src = home / "a/Proj";
    std::string dst = home / "b/Proj";
    WriteFile(src + "/only-src.txt", "s");
    WriteFile(dst + "/only-dst.txt", "d");
    WriteFile(src + "/both.txt", "old");
    WriteFile(dst + "/both.txt", "newer");
    SetModTime(src + "/both.txt", 1000000000);
    SetModTime(dst + "/both.txt", 1000000001);
    Result r = RunOn(home, src, dst, "/!s /!q");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dst + "/only-src.txt"), "s");
    EXPECT_EQ(ReadFile(src + "/only-dst.txt"), "d");
    EXPECT_EQ(ReadFile(src + "/both.txt"), "newer");
    EXPECT_NE(RunLog(home).find("] start synchronization...\n"), std::string::npos);
}

TEST(EndToEndTest, FailedRunLogsTheIndentedErrorAndError) {
    CTempDir home;
    std::string src = home / "src/Data";
    std::string dst = home / "dst/Data";
    WriteFile(src + "/a.txt", "a");
    WriteFile(dst + "/a.txt", "newer destination");
    SetModTime(src + "/a.txt", 1000000000);
    SetModTime(dst + "/a.txt", 2000000000);
    Result r = RunOn(home, src, dst, "/!b /!q");
    EXPECT_EQ(r.exitCode, 0);  // only a refused precondition ends with 1
    std::string log = RunLog(home);
    EXPECT_NE(log.find("  ["), std::string::npos);
    EXPECT_NE(log.find("] Unkown operation: " + src + "/a.txt (source) ? " + dst + "/a.txt (destination)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("] ERROR!\n"), std::string::npos) << log;
    EXPECT_EQ(ReadFile(dst + "/a.txt"), "newer destination");
}

TEST(EndToEndTest, OnATerminalTheRunShowsOneProgressLineAndEndsWithASummary) {
    if (RunCommand("command -v script >/dev/null") != 0) {
        GTEST_SKIP() << "script(1) is needed to give the program a terminal";
    }
    CTempDir home;
    std::string src = home / "src/Data";
    std::string dst = home / "dst/Data";
    for (int i = 0; i < 20; ++i) {
        WriteFile(src + "/dir" + std::to_string(i) + "/file.txt", "x");
    }
    testing_support::MakeFolder(dst);
    std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME=" +
                          ShellQuote(home / "config") + " TMPDIR=" + ShellQuote(home.Path()) +
                          " XDG_STATE_HOME=" + ShellQuote(home / "state") + " " +
                          ShellQuote(testing_support::TandrelBinary()) + " " + ShellQuote("/srcdir:" + src) +
                          " " + ShellQuote("/destdir:" + dst) + " /!b /!q";
    std::string terminal;
    int code = RunCommand("timeout 60 script -qec " + ShellQuote(command) + " /dev/null", &terminal, true);
    EXPECT_EQ(code, 0);
    EXPECT_NE(terminal.find("\r\033[KBackup files... "), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("Creating worklist 1/2"), std::string::npos) << terminal;
    const size_t summary = terminal.rfind("\r\033[K20 files copied to the destination, 0 unchanged, ");
    ASSERT_NE(summary, std::string::npos) << terminal;
    EXPECT_EQ(terminal.find('\033', summary + 3), std::string::npos) << "the summary is the last thing shown";
    EXPECT_EQ(terminal.back(), '\n') << "it ends the line";
    EXPECT_TRUE(testing_support::Exists(dst + "/dir19/file.txt"));
}
