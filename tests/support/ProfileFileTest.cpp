// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing and editing profile texts, in memory.
#include "support/ProfileFile.h"

#include <string>

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

const std::string kSample =
    "; settings of the test\n"
    "\n"
    "[Init]\n"
    "m_strSourceDir = /home/u/src/  \n"
    "Quoted=\"a b\"\n"
    "Equation=x=1\n"
    "Empty=\n"
    "; Hidden=1\n"
    "garbage line without equals\n"
    "\n"
    "[Config]\n"
    "Ignore=bak tmp\n"
    "Ignore=second\n"
    "\n"
    "[init]\n"
    "Later=only in the second Init\n"
    "[broken\n"
    "Lost=1\n"
    "[Config]\n"
    "Twice=from the repeated section\n";

TEST(ProfileFile, GetFindsKeysIgnoringCaseAndKeepsValues) {
    const CProfileFile profile(kSample);
    struct Row {
        const char* section;
        const char* key;
        bool found;
        const char* value;
    } rows[] = {
        {"Init", "m_strSourceDir", true, "/home/u/src/"},
        {"INIT", "M_STRSOURCEDIR", true, "/home/u/src/"},
        {"Init", "Quoted", true, "\"a b\""},
        {"Init", "Equation", true, "x=1"},
        {"Init", "Empty", true, ""},
        {"Init", "Hidden", false, ""},
        {"Init", "garbage line without equals", false, ""},
        {"Config", "Ignore", true, "bak tmp"},
        {"Init", "Later", true, "only in the second Init"},
        {"Config", "Twice", true, "from the repeated section"},
        {"broken", "Lost", false, ""},
        {"[broken", "Lost", false, ""},
        {"Init", "Lost", false, ""},
        {"Init", "Ignore", false, ""},
        {"Missing", "Ignore", false, ""},
        {"Config", "Missing", false, ""},
    };
    for (const Row& row : rows) {
        std::string value = "untouched";
        EXPECT_EQ(profile.Get(row.section, row.key, value), row.found) << row.section << "/" << row.key;
        EXPECT_EQ(value, row.found ? row.value : "untouched") << row.section << "/" << row.key;
    }
}

TEST(ProfileFile, UnreadableInputYieldsNothingAndNeverBreaksParsing) {
    const std::string longValue(100 * 1024, 'v');
    struct Row {
        const char* name;
        std::string text;
        const char* section;
        const char* key;
        bool found;
        std::string value;
    } rows[] = {
        {"key before any section", "Trace=0\n[VOLMDEBUGLOG]\n", "VOLMDEBUGLOG", "Trace", false, ""},
        {"header without ]", "[VOLMDEBUGLOG\nTrace=0\n", "VOLMDEBUGLOG", "Trace", false, ""},
        {"NUL bytes elsewhere", "[S]\na\0b=1\nk=v\n\0\0\n"s, "S", "k", true, "v"},
        {"NUL inside the value", "[S]\nk=a\0b\n"s, "S", "k", true, "a\0b"s},
        {"100 KB line", "[S]\nk=" + longValue + "\nnext=2\n", "S", "next", true, "2"},
        {"100 KB value", "[S]\nk=" + longValue + "\n", "S", "k", true, longValue},
        {"100 KB garbage", "[S]\n" + longValue + "\nk=3", "S", "k", true, "3"},
        {"CRLF", "[S]\r\nk=v\r\nx=y\r\n", "S", "k", true, "v"},
        {"CRLF last line", "[S]\r\nk=v\r\n", "S", "k", true, "v"},
        {"no final line end", "[S]\nk=v", "S", "k", true, "v"},
        {"only a CR", "[S]\rk=v\r", "S", "k", false, ""},
        {"indented header and key", "  [S]  trailing\n\tk\t=\tv\t\n", "S", "k", true, "v"},
        {"empty key", "[S]\n=v\n", "S", "", false, ""},
        {"empty text", "", "S", "k", false, ""},
        {"binary noise", "\xff\xfe[\x01]\n=\n[\n]\n"s, "S", "k", false, ""},
    };
    for (const Row& row : rows) {
        const CProfileFile profile(row.text);
        std::string value;
        EXPECT_EQ(profile.Get(row.section, row.key, value), row.found) << row.name;
        if (row.found) {
            EXPECT_EQ(value, row.value) << row.name;
        }
    }
}

TEST(ProfileFile, UnchangedTextComesBackAsItWas) {
    for (const std::string& text : {kSample, std::string("[S]\r\nk=v\r\n\r\n; c\r\n"), std::string()}) {
        EXPECT_EQ(CProfileFile(text).Text(), text);
    }
}

TEST(ProfileFile, SetKeepsEveryOtherLineInPlace) {
    struct Row {
        const char* name;
        std::string before;
        const char* section;
        const char* key;
        const char* value;
        std::string after;
    } rows[] = {
        {"replace in place keeps comments, blanks and order",
         "; top\n\n[Init]\n; note\nA=1\nb = 2\n\n[Config]\nc=3\n", "init", "B", "/new/",
         "; top\n\n[Init]\n; note\nA=1\nb=/new/\n\n[Config]\nc=3\n"},
        {"missing key goes after the section's last key, before its blank lines",
         "[Init]\nA=1\n; trailing comment\n\n\n[Config]\nc=3\n", "Init", "New", "x",
         "[Init]\nA=1\nNew=x\n; trailing comment\n\n\n[Config]\nc=3\n"},
        {"missing key in the last section", "[Init]\nA=1\n[Config]\nc=3\n\n", "Config", "d", "4",
         "[Init]\nA=1\n[Config]\nc=3\nd=4\n\n"},
        {"missing key in a section without keys", "[Empty]\n\n[Next]\nn=1\n", "Empty", "k", "v",
         "[Empty]\nk=v\n\n[Next]\nn=1\n"},
        {"missing section at the end", "[Init]\nA=1\n", "Config", "Ignore", "bak tmp",
         "[Init]\nA=1\n\n[Config]\nIgnore=bak tmp\n"},
        {"missing section in an empty file", "", "VOLMDEBUGLOG", "Trace", "1", "[VOLMDEBUGLOG]\nTrace=1\n"},
        {"CRLF file stays CRLF", "[Init]\r\nA=1\r\n\r\n", "Init", "B", "2", "[Init]\r\nA=1\r\nB=2\r\n\r\n"},
        {"CRLF file gets a CRLF section", "[Init]\r\nA=1\r\n", "X", "k", "v",
         "[Init]\r\nA=1\r\n\r\n[X]\r\nk=v\r\n"},
        {"first of two equal keys changes", "[S]\nk=1\nk=2\n", "S", "k", "9", "[S]\nk=9\nk=2\n"},
        {"key below a broken header is not the section's", "[S]\na=1\n[S\nk=1\n", "S", "k", "2",
         "[S]\na=1\nk=2\n[S\nk=1\n"},
        {"garbage and NUL lines stay", "[S]\n\0junk\nk=1\n"s, "S", "k", "2", "[S]\n\0junk\nk=2\n"s},
        {"empty value", "[S]\nk=1\n", "S", "k", "", "[S]\nk=\n"},
    };
    for (const Row& row : rows) {
        CProfileFile profile(row.before);
        ASSERT_TRUE(profile.Set(row.section, row.key, row.value)) << row.name;
        EXPECT_EQ(profile.Text(), row.after) << row.name;
        std::string value;
        EXPECT_TRUE(CProfileFile(profile.Text()).Get(row.section, row.key, value)) << row.name;
        EXPECT_EQ(value, row.value) << row.name;
    }
}

TEST(ProfileFile, SetRefusesWhatWouldNotReadBack) {
    const std::string before = "[S]\nk=1\n";
    struct Row {
        const char* name;
        std::string section, key, value;
    } rows[] = {
        // A line break in a value would let a folder name inject keys into the settings.
        {"LF in value", "S", "k", "/tmp/x\nm_strSourceDir=/etc"},
        {"CR in value", "S", "k", "a\rb"},
        {"NUL in value", "S", "k", "a\0b"s},
        {"] in section", "S]", "k", "v"},
        {"LF in section", "S\nx", "k", "v"},
        {"= in key", "S", "k=x", "v"},
        {"LF in key", "S", "k\nx", "v"},
        {"empty key", "S", "", "v"},
        {"empty section", "", "k", "v"},
        {"blank-edged key", "S", " k", "v"},
        {"comment key", "S", ";k", "v"},
        {"header-like key", "S", "[k", "v"},
    };
    for (const Row& row : rows) {
        CProfileFile profile(before);
        EXPECT_FALSE(profile.Set(row.section, row.key, row.value)) << row.name;
        EXPECT_EQ(profile.Text(), before) << row.name;
    }
}

}  // namespace
