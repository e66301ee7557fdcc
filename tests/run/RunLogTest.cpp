// SPDX-License-Identifier: GPL-3.0-or-later
// The run log: levels, joined lines, one header for many runs, and the trace switch.
#include "run/RunLog.h"

#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"
#include "tests/support/SupportTestEnv.h"

using testing_support::CPrivateFolders;
using testing_support::Exists;
using testing_support::Lines;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

// The body of the log after its three header lines.
std::vector<std::string> Body(const std::string& path) {
    std::vector<std::string> lines = Lines(ReadFile(path));
    EXPECT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.size() >= 2 ? lines[1] : "", "; Please send this file to Wendrik");
    lines.erase(lines.begin(), lines.begin() + std::min<std::size_t>(3, lines.size()));
    return lines;
}

// Splits "[stamp] text" (after indent) into stamp and text; false when the line is not of that form.
bool SplitStamped(const std::string& line, const std::string& indent, std::string& stamp, std::string& text) {
    if (line.compare(0, indent.size() + 1, indent + "[") != 0) {
        return false;
    }
    const std::string::size_type close = line.find("] ", indent.size());
    if (close == std::string::npos) {
        return false;
    }
    stamp = line.substr(indent.size() + 1, close - indent.size() - 1);
    text = line.substr(close + 2);
    return !stamp.empty() && stamp != "<no timeinfo>";
}

TEST(RunLog, LevelsShapeTheLine) {
    struct Row {
        const char* name;
        std::string text;
        int level;
        const char* indent;  // nullptr: an empty line
        std::string expected;
    } rows[] = {
        {"entry", "source:      /src/", RunLogEntry, "", "source:      /src/"},
        {"detail", "OK!", RunLogDetail, "  ", "OK!"},
        {"detail joins CR LF", "a\r\nb", RunLogDetail, "  ", "ab"},
        {"entry drops every CR and LF", "\nx\ry\n\nz\r", RunLogEntry, "", "xyz"},
        {"entry keeps other bytes", "t\tab \xff", RunLogEntry, "", "t\tab \xff"},
        {"entry of an empty text", "", RunLogEntry, "", ""},
        {"blank ignores its text", "ignored text", RunLogBlank, nullptr, ""},
        {"unknown level 0", "text", 0, nullptr, ""},
        {"unknown level 4", "text", 4, nullptr, ""},
        {"unknown level -1", "text", -1, nullptr, ""},
    };
    for (const Row& row : rows) {
        CPrivateFolders folders;
        WriteRunLog(row.text, row.level);
        const std::vector<std::string> body = Body(folders.State() + "TandrelAutoRun.log");
        ASSERT_EQ(body.size(), 1u) << row.name;
        if (!row.indent) {
            EXPECT_EQ(body[0], "") << row.name;
            continue;
        }
        std::string stamp;
        std::string text;
        EXPECT_TRUE(SplitStamped(body[0], row.indent, stamp, text)) << row.name << ": " << body[0];
        EXPECT_EQ(text, row.expected) << row.name;
    }
}

TEST(RunLog, TwoRunsAppendUnderOneHeader) {
    CPrivateFolders folders;
    // The run log carries its time even when the trace header's date is switched off.
    WriteFile(folders.Config() + "VOLMDEBUGLOG.INI", "[VOLMDEBUGLOG]\nLogDateTime=0\n");
    for (int run = 0; run < 2; ++run) {
        WriteRunLog("", RunLogBlank);
        WriteRunLog("source:      /src/", RunLogEntry);
        WriteRunLog("start backup...", RunLogDetail);
        WriteRunLog("OK!", RunLogDetail);
    }
    WriteRunLog("AutoQuit!", RunLogEntry);
    const std::string path = folders.State() + "TandrelAutoRun.log";
    const std::vector<std::string> lines = Lines(ReadFile(path));
    ASSERT_EQ(lines.size(), 12u) << ReadFile(path);
    EXPECT_EQ(lines[0], "; <no timeinfo> " + path + " created.");
    const std::vector<std::string> body(lines.begin() + 3, lines.end());
    const struct {
        const char* indent;
        const char* text;
    } expected[] = {
        {nullptr, ""},     {"", "source:      /src/"}, {"  ", "start backup..."}, {"  ", "OK!"},
        {nullptr, ""},     {"", "source:      /src/"}, {"  ", "start backup..."}, {"  ", "OK!"},
        {"", "AutoQuit!"},
    };
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (!expected[i].indent) {
            EXPECT_EQ(body[i], "") << "line " << i;
            continue;
        }
        std::string stamp;
        std::string text;
        EXPECT_TRUE(SplitStamped(body[i], expected[i].indent, stamp, text))
            << "line " << i << ": " << body[i];
        EXPECT_EQ(text, expected[i].text) << "line " << i;
    }
}

TEST(RunLog, TraceOffWritesNoLog) {
    CPrivateFolders folders;
    WriteFile(folders.Config() + "VOLMDEBUGLOG.INI", "[VOLMDEBUGLOG]\nTrace=0\n");
    WriteRunLog("General Error!", RunLogDetail);
    WriteRunLog("", RunLogBlank);
    EXPECT_FALSE(Exists(folders.State() + "TandrelAutoRun.log"));
}

// The log lies in a folder of the user's own that lasts: private, and not the shared temporary folder.
TEST(RunLog, LiesInAPrivateStateFolder) {
    CPrivateFolders folders;
    WriteRunLog("OK!", RunLogDetail);
    EXPECT_TRUE(Exists(folders.State() + "TandrelAutoRun.log"));
    EXPECT_FALSE(Exists(folders.Temp() + "TandrelAutoRun.log"));
    EXPECT_EQ(testing_support::Mode(folders.State()), 0700u);
}

TEST(RunLog, ALinkInPlaceOfTheLogIsNotFollowed) {
    CPrivateFolders folders;
    const std::string target = folders.Temp() + "victim";
    WriteFile(target, "keep\n");
    testing_support::MakeFolder(folders.State());
    ASSERT_EQ(symlink(target.c_str(), (folders.State() + "TandrelAutoRun.log").c_str()), 0);
    WriteRunLog("ERROR!", RunLogDetail);
    EXPECT_EQ(ReadFile(target), "keep\n");
}

}  // namespace
