// SPDX-License-Identifier: GPL-3.0-or-later
// The trace log: header, switches, debugger copy and refusal of files that are not ours.
#include "support/TraceLog.h"

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Reg.h"
#include "tests/TestSupport.h"
#include "tests/support/SupportTestEnv.h"

using testing_support::CPrivateFolders;
using testing_support::Lines;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

void WriteSwitches(const CPrivateFolders& folders, const std::string& content) {
    WriteFile(folders.Config() + "VOLMDEBUGLOG.INI", content);
}

// Sets TANDREL_DEBUG for one case and captures what reaches standard error.
class CDebugCapture {
  public:
    CDebugCapture() {
        setenv("TANDREL_DEBUG", "1", 1);
        testing::internal::CaptureStderr();
    }
    ~CDebugCapture() {
        if (!m_done) {
            Take();
        }
    }
    CDebugCapture(const CDebugCapture&) = delete;
    CDebugCapture& operator=(const CDebugCapture&) = delete;
    std::string Take() {
        m_done = true;
        unsetenv("TANDREL_DEBUG");
        return testing::internal::GetCapturedStderr();
    }

  private:
    bool m_done = false;
};

TEST(TraceLog, NewFileStartsWithTheHeaderThenLinesFollow) {
    CPrivateFolders folders;
    const std::string path = folders.Temp() + "test.log";
    CDebugCapture capture;
    {
        CTraceLog log("test.log");
        EXPECT_EQ(log.Path(), path);
        EXPECT_TRUE(log.Write("first line", false));
        EXPECT_TRUE(log.Write("a remark", true));
        EXPECT_TRUE(log.Write("", false));
    }
    EXPECT_EQ(capture.Take(), "first line\n; a remark\n\n");
    const std::vector<std::string> lines = Lines(ReadFile(path));
    ASSERT_EQ(lines.size(), 6u) << ReadFile(path);
    const std::string prefix = "; ";
    const std::string suffix = " " + path + " created.";
    ASSERT_GT(lines[0].size(), prefix.size() + suffix.size()) << lines[0];
    EXPECT_EQ(lines[0].substr(0, 2), prefix);
    EXPECT_EQ(lines[0].substr(lines[0].size() - suffix.size()), suffix);
    const std::string stamp = lines[0].substr(2, lines[0].size() - 2 - suffix.size());
    EXPECT_NE(stamp, "<no timeinfo>");
    EXPECT_NE(stamp.find_first_of("0123456789"), std::string::npos) << stamp;
    EXPECT_EQ(lines[1], "; Please send this file to Wendrik");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "first line");
    EXPECT_EQ(lines[4], "; a remark");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(ReadFile(path).back(), '\n');
    EXPECT_EQ(testing_support::Mode(path), 0600u);
}

TEST(TraceLog, ExistingFileGetsNoHeader) {
    CPrivateFolders folders;
    const std::string path = folders.Temp() + "test.log";
    WriteFile(path, "older content\n");
    EXPECT_TRUE(CTraceLog("test.log").Write("appended", false));
    EXPECT_TRUE(CTraceLog("test.log").Write("again", false));
    EXPECT_EQ(ReadFile(path), "older content\nappended\nagain\n");
}

TEST(TraceLog, SwitchesChangeWhatIsWritten) {
    struct Row {
        const char* name;
        std::string switches;
        bool written;
        bool dated;
    } rows[] = {
        {"no switches file", "", true, true},
        {"Trace 0", "[VOLMDEBUGLOG]\nTrace=0\n", false, true},
        {"Trace 0, other case", "[volmdebuglog]\ntrace = 0\n", false, true},
        {"LogDateTime 0", "[VOLMDEBUGLOG]\nLogDateTime=0\n", true, false},
        {"both on", "[VOLMDEBUGLOG]\nTrace=1\nLogDateTime=1\n", true, true},
        {"unused switches", "[VOLMDEBUGLOG]\nLogSysInfo=0\nDevStudioFormat=1\n", true, true},
    };
    for (const Row& row : rows) {
        CPrivateFolders folders;
        if (!row.switches.empty()) {
            WriteSwitches(folders, row.switches);
        }
        const std::string path = folders.Temp() + "test.log";
        CDebugCapture capture;
        {
            CTraceLog log("test.log");
            EXPECT_EQ(log.TimeStamp() == "<no timeinfo>", !row.dated) << row.name;
            EXPECT_TRUE(log.Write("line", false)) << row.name;
        }
        EXPECT_EQ(capture.Take(), row.written ? "line\n" : "") << row.name;
        EXPECT_EQ(Exists(path), row.written) << row.name;
        if (row.written) {
            const std::vector<std::string> lines = Lines(ReadFile(path));
            ASSERT_EQ(lines.size(), 4u) << row.name;
            EXPECT_EQ(lines[0] == "; <no timeinfo> " + path + " created.", !row.dated)
                << row.name << lines[0];
            EXPECT_EQ(lines[3], "line") << row.name;
        }
    }
}

TEST(TraceLog, SwitchesFileGetsAllFourKeysOnce) {
    CPrivateFolders folders;
    const std::string switches = folders.Config() + "VOLMDEBUGLOG.INI";
    {
        CTraceLog log("unused.log");
        EXPECT_FALSE(Exists(switches)) << "loading the switches must not create their file";
    }
    EXPECT_EQ(ReadFile(switches),
              "[VOLMDEBUGLOG]\nTrace=1\nLogDateTime=1\nDevStudioFormat=0\nLogSysInfo=1\n");
    EXPECT_FALSE(Exists(folders.Temp() + "unused.log")) << "a log without lines leaves no file";

    // Keys the user already has keep their values; only missing ones are added.
    WriteSwitches(folders, "; mine\n[VOLMDEBUGLOG]\nLogDateTime=0\n");
    { CTraceLog log("unused.log"); }
    EXPECT_EQ(ReadFile(switches),
              "; mine\n[VOLMDEBUGLOG]\nLogDateTime=0\nTrace=1\nDevStudioFormat=0\nLogSysInfo=1\n");
}

TEST(TraceLog, AnEditWhileALogLivesIsNotUndone) {
    CPrivateFolders folders;
    { CTraceLog first("a.log"); }
    const std::string edited = "[VOLMDEBUGLOG]\nTrace=0\nLogDateTime=1\nDevStudioFormat=0\nLogSysInfo=1\n";
    {
        // Like the program's own log, which lives from start to exit.
        CTraceLog longLived("VOLMDEBUG.LOG");
        WriteSwitches(folders, edited);
    }
    EXPECT_EQ(ReadFile(folders.Config() + "VOLMDEBUGLOG.INI"), edited);
    CTraceLog later("a.log");
    EXPECT_TRUE(later.Write("suppressed", false));
    EXPECT_FALSE(Exists(folders.Temp() + "a.log"));
}

TEST(TraceLog, FilesThatAreNotOurOwnAreNotWritten) {
    CPrivateFolders folders;
    const std::string target = folders.Temp() + "target";
    WriteFile(target, "precious\n");
    ASSERT_EQ(symlink(target.c_str(), (folders.Temp() + "link.log").c_str()), 0);
    CDebugCapture capture;
    EXPECT_FALSE(CTraceLog("link.log").Write("through a link", false));
    EXPECT_EQ(capture.Take(), "through a link\n")
        << "the debugger copy is made even when the file is refused";
    EXPECT_EQ(ReadFile(target), "precious\n");

    if (!testing_support::IsRoot()) {
        GTEST_SKIP() << "a file of another user can only be planted by root";
    }
    const std::string foreign = folders.Temp() + "foreign.log";
    WriteFile(foreign, "");
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(CTraceLog("foreign.log").Write("not here", false));
    EXPECT_EQ(ReadFile(foreign), "");
}

}  // namespace
