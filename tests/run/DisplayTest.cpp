// SPDX-License-Identifier: GPL-3.0-or-later
// The built program where the display named cannot be opened (a stale ssh session, cron with DISPLAY=:0):
// what needs no window still works, the rest ends with one line instead of Qt's abort.

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

using testing_support::CTempDir;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;

namespace {

struct Result {
    int exitCode = -1;  // -1 or above 128: ended by a signal
    std::string out;
    std::string err;
};

class DisplayTest : public testing::Test {
  protected:
    // Runs tandrel with display (environment assignments) and its files inside m_home.
    Result Run(const std::string& display, const std::string& arguments) {
        const std::string errFile = m_output / "stderr.txt";
        Result result;
        result.exitCode =
            RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TANDREL_DEBUG " + display +
                           " XDG_CONFIG_HOME=" + ShellQuote(m_home / "config") +
                           " XDG_STATE_HOME=" + ShellQuote(m_home / "state") +
                           " TMPDIR=" + ShellQuote(m_home.Path()) + " HOME=" + ShellQuote(m_home.Path()) +
                           " timeout 60 " + ShellQuote(testing_support::TandrelBinary()) + " " + arguments +
                           " 2>" + ShellQuote(errFile) + " </dev/null",
                       &result.out);
        result.err = ReadFile(errFile);
        return result;
    }
    std::string BackupArguments() {
        testing_support::WriteFile(m_home / "src/Data/a.txt", "a");
        testing_support::MakeFolder(m_home / "dst/Data");
        return ShellQuote("/srcdir:" + m_home / "src/Data") + " " +
               ShellQuote("/destdir:" + m_home / "dst/Data") + " /!b /!q";
    }

    // Displays that nothing answers, each in the environment and as the program names it.
    std::vector<std::pair<std::string, std::string>> DeadDisplays() {
        std::vector<std::pair<std::string, std::string>> displays = {
            {"WAYLAND_DISPLAY=gone XDG_RUNTIME_DIR=" + ShellQuote(m_home.Path()), "gone"}};
        // Display 97 unless an X server holds it, as a file or as an abstract socket.
        if (ReadFile("/proc/net/unix").find("/tmp/.X11-unix/X97") == std::string::npos) {
            displays.push_back({"DISPLAY=:97", ":97"});
        }
        return displays;
    }

    CTempDir m_home;
    CTempDir m_output;
};

}  // namespace

TEST_F(DisplayTest, VersionAndHelpAnswerAtOnceAndWriteNothing) {
    struct Row {
        const char* option;
        const char* expected;  // in standard output
    } rows[] = {{"--version", "Tandrel 2.0.11\n"}, {"--help", "/!quit, /!q"}, {"-H", "/srcdir:#"}};
    for (const auto& [display, name] : DeadDisplays()) {
        for (const Row& row : rows) {
            Result r = Run(display, row.option);
            EXPECT_EQ(r.exitCode, 0) << row.option << " " << r.err;
            EXPECT_NE(r.out.find(row.expected), std::string::npos) << row.option << ": " << r.out;
            EXPECT_EQ(r.err, "") << row.option;
            EXPECT_TRUE(testing_support::ListTree(m_home.Path()).empty())
                << row.option << ": no settings, no log";
        }
    }
}

TEST_F(DisplayTest, UnattendedRunFallsBackAndAWindowStartEndsWithOne) {
    for (const auto& [display, name] : DeadDisplays()) {
        Result window = Run(display, "");
        EXPECT_EQ(window.exitCode, 1) << "not a signal: " << window.err;
        EXPECT_EQ(window.err, "tandrel: cannot open display " + name + " for the main window\n");

        Result run = Run(display, BackupArguments());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "tandrel: cannot open display " + name + ", running without a window\n");
        EXPECT_EQ(ReadFile(m_home / "dst/Data/a.txt"), "a");
        EXPECT_NE(ReadFile(m_home / "state/tandrel/TandrelAutoRun.log").find("] OK!\n"), std::string::npos);
        testing_support::RemoveTree(m_home / "state");  // each display's run logs its own "OK!"
    }
}

TEST_F(DisplayTest, ADisplayThatOpensIsUsed) {
    if (RunCommand("command -v Xvfb >/dev/null") != 0) {
        GTEST_SKIP() << "Xvfb is needed for a display that opens";
    }
    // Xvfb picks a free display and writes its number once it accepts clients.
    const std::string numberFile = m_output / "display";
    std::string pid;
    ASSERT_EQ(RunCommand("Xvfb -displayfd 3 -nolisten tcp 3>" + ShellQuote(numberFile) +
                             " >/dev/null 2>&1 </dev/null & echo $!",
                         &pid),
              0);
    std::string number;
    for (int i = 0; i < 100 && number.empty(); ++i) {
        RunCommand("sleep 0.1");
        number = ReadFile(numberFile);
    }
    Result run = Run("DISPLAY=:" + number.substr(0, number.find('\n')), BackupArguments());
    RunCommand("kill " + pid);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("cannot open display"), std::string::npos) << run.err;
}
