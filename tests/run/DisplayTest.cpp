// SPDX-License-Identifier: GPL-3.0-or-later
// The built program started from anywhere: no display, a display that is gone or never answers, a Wayland
// socket Qt has no platform for, a closed pipe on standard error, a log or settings folder it must not use.
// Each start is checked for its exit status, its lines on standard error and the end of its run log.

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "res/Version.h"
#include "tests/TestSupport.h"

using testing_support::CTempDir;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;

namespace {

// A socket that takes connections and never says a word (a frozen X server, a dead ssh forward):
// listening is enough, the kernel completes the connection without an accept. -1 when it cannot bind.
template <typename Address>
int ListenSilently(const Address& address) {
    const int fd = socket(reinterpret_cast<const sockaddr&>(address).sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && listen(fd, 4) == 0) {
        return fd;
    }
    close(fd);
    return -1;
}

class DisplayTest : public testing::Test {
  protected:
    void SetUp() override {
        testing_support::WriteFile(m_home / "src/Data/a.txt", "a");
        testing_support::MakeFolder(m_home / "dst/Data");
        testing_support::MakeFolder(m_home / "tmp");
        sockaddr_un wayland{AF_UNIX, {}};
        (m_home / "wayland-9").copy(wayland.sun_path, sizeof wayland.sun_path - 1);
        m_sockets[0] = ListenSilently(wayland);
        // X display n of 127.0.0.1 is TCP port 6000 + n.
        for (int display = 57; display < 100 && m_sockets[1] < 0; ++display) {
            sockaddr_in x11{AF_INET, htons(static_cast<uint16_t>(6000 + display)), {htonl(INADDR_LOOPBACK)}, {}};
            m_sockets[1] = ListenSilently(x11);
            m_silentDisplay = "127.0.0.1:" + std::to_string(display);
        }
        ASSERT_TRUE(m_sockets[0] >= 0 && m_sockets[1] >= 0) << "no silent display";
    }
    void TearDown() override {
        close(m_sockets[0]);
        close(m_sockets[1]);
        if (!m_xvfb.empty()) {
            RunCommand("kill " + m_xvfb);
        }
    }

    CTempDir m_home;
    CTempDir m_output;
    int m_sockets[2] = {-1, -1};  // Wayland, X
    std::string m_silentDisplay;
    std::string m_xvfb;  // its process id, where one runs
};

// Replaces every "{name}" in text by value.
std::string Fill(std::string text, const std::string& name, const std::string& value) {
    for (size_t at; (at = text.find("{" + name + "}")) != std::string::npos;) {
        text.replace(at, name.size() + 2, value);
    }
    return text;
}

constexpr const char* kOkQuit = "OK!\n\\[.*\\] AutoQuit!\n";

}  // namespace

TEST_F(DisplayTest, EachStartEnvironmentEndsAsItShould) {
    // In environment, err and arguments: {silent} is the silent X display, {home} the case's folder,
    // {run} the source and destination of a backup. err is a regular expression for all of standard
    // error, logEnd one for the end of the run log ("" for no log at all).
    struct Row {
        const char* name;
        const char* environment;
        const char* plant;  // "dir:" or "link:" and a path below {home}: a folder, or a link to another's
        const char* arguments;
        bool closedStderr;  // standard error a pipe whose reader has gone
        int exitCode;
        const char* err;
        const char* logEnd;
        bool copied;
        const char* out = nullptr;  // in standard output; then nothing may be written, no settings either
    } rows[] = {
        {"no display", "", "", "{run} /!b /!q", false, 0, "", kOkQuit, true},
        {"silent display, unattended: never tried", "DISPLAY={silent}", "", "{run} /!b /!q", false, 0, "",
         kOkQuit, true},
        {"silent display, a box may be due", "DISPLAY={silent}", "", "{run} /!b /!q /alert", false, 0,
         "tandrel: display {silent} does not answer within 2 s, running without a window\n", kOkQuit, true},
        {"answering display, a box may be due: used", "DISPLAY={answering}", "", "{run} /!b /!q /alert", false, 0,
         "", kOkQuit, true},
        {"silent display, the window", "DISPLAY={silent}", "", "", false, 1,
         "tandrel: display {silent} does not answer within 2 s for the main window\n", "", false},
        {"gone display, the window", "DISPLAY=:97", "", "", false, 1,
         "tandrel: cannot open display :97 for the main window\n", "", false},
        {"gone display, a run that would show the window", "DISPLAY=:97", "", "{run} /!b", false, 0,
         "tandrel: cannot open display :97, running without a window\n"
         "tandrel: no display, the main window is not shown\n",
         kOkQuit, true},
        {"gone display, usage", "DISPLAY=:97", "", "/?", false, 0,
         "tandrel: cannot open display :97, running without a window\n", "", false},
        // Qt's own Wayland platform is not there, or finds the compositor silent: either way no window.
        {"Wayland socket, no platform for it", "WAYLAND_DISPLAY={home}/wayland-9", "", "{run} /!s /!q /alert",
         false, 0, "tandrel: (cannot open )?display .*wayland-9.*, running without a window\n", kOkQuit, true},
        {"help beside a run is an unknown argument", "", "", "{run} /!b /!q -h", false, 0,
         "tandrel: Invalid parameter: -h\n", kOkQuit, true},
        {"closed pipe on standard error", "", "", "/srcdir:{home}/src/Data /destdir:{home}/none/Data /!b /!q",
         true, 1, "", "General Error!\n\\[.*\\] AutoQuit!\n", false},
        {"run log that cannot be written", "", "dir:state/tandrel/TandrelAutoRun.log", "{run} /!b /!q", false,
         0, "tandrel: cannot write the run log {home}/state/tandrel/TandrelAutoRun.log: .*\n", "", true},
        {"settings folder a link to another's", "", "link:config/tandrel", "{run} /!b /!q", false, 1,
         "tandrel: {home}/config/tandrel/ is not a folder of your own .*\n", "", false},
        // Alone they answer at once, the silent display never tried.
        {"version", "DISPLAY={silent}", "", "--version", false, 0, "", "", false, res::kVersionLine},
        {"help", "DISPLAY={silent}", "", "--help", false, 0, "", "", false, "/!quit, /!q"},
        {"help, short", "DISPLAY={silent}", "", "-H", false, 0, "", "", false, "/srcdir:#"},
    };
    // Xvfb, where installed, picks a free display and writes its number once it accepts clients.
    std::string answering;
    if (RunCommand("command -v Xvfb >/dev/null") == 0) {
        ASSERT_EQ(RunCommand("Xvfb -displayfd 3 -nolisten tcp 3>" + ShellQuote(m_output / "display") +
                                 " >/dev/null 2>&1 </dev/null & echo $!",
                             &m_xvfb),
                  0);
        for (int i = 0; i < 100 && answering.empty(); ++i) {
            RunCommand("sleep 0.1");
            answering = ReadFile(m_output / "display");
        }
        ASSERT_FALSE(answering.empty()) << "Xvfb did not start";
    }
    const std::string run = ShellQuote("/srcdir:" + m_home / "src/Data") + " " +
                            ShellQuote("/destdir:" + m_home / "dst/Data");
    auto fill = [&](const char* text) {
        return Fill(Fill(Fill(Fill(text, "run", run), "home", m_home.Path()), "silent", m_silentDisplay),
                    "answering", ":" + answering.substr(0, answering.find('\n')));
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (answering.empty() && std::string(row.environment).find("{answering}") != std::string::npos) {
            continue;  // no Xvfb here
        }
        testing_support::RemoveTree(m_home / "state");
        testing_support::RemoveTree(m_home / "config");
        testing_support::RemoveTree(m_home / "dst/Data/a.txt");
        const std::string plant = row.plant;
        if (plant.rfind("dir:", 0) == 0) {
            testing_support::MakeFolder(m_home / plant.substr(4));
        } else if (plant.rfind("link:", 0) == 0) {
            testing_support::MakeFolder(m_home / "elsewhere");
            testing_support::MakeFolder(m_home / "config");
            ASSERT_EQ(symlink((m_home / "elsewhere").c_str(), (m_home / plant.substr(5)).c_str()), 0);
        }
        const std::string errFile = m_output / "stderr.txt";
        testing_support::WriteFile(errFile, "");
        // No XDG_RUNTIME_DIR, as under cron: nothing may appear in the temporary folder. The pipe's
        // reader is given time to go before the program writes.
        const std::string command =
            "{ " + std::string(row.closedStderr ? "sleep 0.3; " : "") +
            "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TANDREL_DEBUG -u XDG_RUNTIME_DIR " +
            fill(row.environment) + " XDG_CONFIG_HOME=" + ShellQuote(m_home / "config") +
            " XDG_STATE_HOME=" + ShellQuote(m_home / "state") + " TMPDIR=" + ShellQuote(m_home / "tmp") +
            " HOME=" + ShellQuote(m_home.Path()) + " timeout 30 " + ShellQuote(testing_support::TandrelBinary()) +
            " " + fill(row.arguments) + " </dev/null; echo $? >" + ShellQuote(m_output / "rc") + "; } " +
            (row.closedStderr ? "2>&1 >/dev/null | :" : "2>" + ShellQuote(errFile));
        std::string out;
        ASSERT_EQ(RunCommand(command, &out), 0);
        if (row.out) {
            EXPECT_NE(out.find(row.out), std::string::npos) << out;
            EXPECT_FALSE(testing_support::Exists(m_home / "config")) << "no settings";
        }
        EXPECT_EQ(std::stoi(ReadFile(m_output / "rc")), row.exitCode);
        const std::string err = ReadFile(errFile);
        EXPECT_TRUE(std::regex_match(err, std::regex(fill(row.err)))) << err;
        const std::string log = ReadFile(m_home / "state/tandrel/TandrelAutoRun.log");
        EXPECT_TRUE(*row.logEnd ? std::regex_search(log, std::regex(std::string(row.logEnd) + "$")) : log.empty())
            << log;
        EXPECT_EQ(testing_support::Exists(m_home / "dst/Data/a.txt"), row.copied);
        EXPECT_TRUE(testing_support::ListTree(m_home / "tmp").empty()) << "the temporary folder stays empty";
        EXPECT_FALSE(testing_support::Exists(m_home / "elsewhere/Tandrel.ini"));
    }
}
