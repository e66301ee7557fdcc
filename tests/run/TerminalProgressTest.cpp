// SPDX-License-Identifier: GPL-3.0-or-later
// The progress line of unattended runs on a terminal, and the run's summary.
#include "run/TerminalProgress.h"

#include <clocale>
#include <cstdio>
#include <cwchar>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(TerminalProgress, FitCutsByCharactersAndColumns) {
    struct Row {
        const char* name;
        std::string text;
        int columns;
        std::string expected;
    } rows[] = {
        {"fits as it is", "Caf\u00e9 \u6771\u4eac", 9, "Caf\u00e9 \u6771\u4eac"},
        {"wide characters count two", "Caf\u00e9 \u6771\u4eac", 8, "Ca...\u4eac"},
        {"combining marks count none", "e\u0301e\u0301e\u0301e\u0301", 4, "e\u0301e\u0301e\u0301e\u0301"},
        {"start and end of a long path", "/home/user/projects/report.txt", 20, "/home/.../report.txt"},
        {"a wide character too many gives its column to the end", "a\u6771\u4eacbcdefg", 8, "a...defg"},
        {"a mark cut from its character is left out", "abcdefghije\u0301xy", 7, "ab...xy"},
        {"too narrow for dots", "abcdef", 3, "abc"},
        {"control, invalid and C1 bytes as ?", "a\x1b[2J\xff\xc3z\xc2\x9b", 80, "a?[2J??z?"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FitToColumns(row.text, row.columns), row.expected) << row.name;
    }
}

TEST(TerminalProgress, FitIsValidUtf8AndNeverWiderThanTheTerminal) {
    // The C library's own decoder and widths judge the result.
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    const std::string names[] = {
        "/m\u00fcnchen/Caf\u00e9 cr\u00e8me/r\u00e9sum\u00e9 na\u00efve.odt",
        "/\u5831\u544a\u66f8/\u6771\u4eac/\u30c7\u30fc\u30bf \ud55c\uad6d\uc5b4.txt",
        "/photos/\U0001F600\U0001F4C1/e\u0301te\u0301 \u00e9t\u00e9.jpg",
        "/bad/\xff\xfe name \xc3 \xe6\x9d end\xf0\x9f",
        "/\u0915\u094D\u0937\u093F\u0924\u093F\u091C/\u0939\u093F\u0928\u094D\u0926\u0940 \u0BA4\u0BAE\u0BBF\u0BB4\u0BCD.txt",
    };
    for (const std::string& name : names) {
        for (int columns = 1; columns <= 48; ++columns) {
            const std::string line = FitToColumns(name, columns);
            std::wstring wide(line.size() + 1, L'\0');
            const size_t count = std::mbstowcs(wide.data(), line.c_str(), wide.size());
            ASSERT_NE(count, static_cast<size_t>(-1)) << name << " at " << columns;
            EXPECT_LE(::wcswidth(wide.c_str(), count), columns) << name << " at " << columns;
        }
    }
}

TEST(TerminalProgress, LineIsRedrawnWholeAndEnded) {
    struct Row {
        const char* name;
        void (*steps)(CTerminalProgress&);
        std::string lastDraw;  // what follows the last carriage return
    } rows[] = {
        {"caption drops the file", [](auto& p) { p.SetRange(0, 9), p.SetStatus("/a"), p.SetCaption("Copy"); },
         "\033[KCopy 1/10"},
        {"range drops the file", [](auto& p) { p.SetCaption("Scan"), p.SetStatus("/a"), p.SetRange(0, 1); },
         "\033[KScan 1/2"},
        {"last column stays free", [](auto& p) { p.SetCaption("Scanning"); }, "\033[KS...g 1/1"},
        {"the counter stays whole, the rest gives way",
         [](auto& p) { p.SetCaption("Copy"), p.SetRange(0, 99999), p.SetStatus("/a/b"); }, "\033[K 1/100000"},
        {"clear erases", [](auto& p) { p.SetCaption("Scan"), p.Clear(); }, "\033[K"},
        {"update after clear draws", [](auto& p) { p.SetCaption("Scan"), p.Clear(), p.SetPos(0); },
         "\033[KScan 1/1"},
        {"finish is final",
         [](auto& p) { p.SetCaption("Copy"), p.Finish("3 files copied"), p.SetCaption("x"); },
         "\033[K3 files copied\n"},
        {"empty finish erases", [](auto& p) { p.SetCaption("Copy"), p.Finish(""); }, "\033[K"},
    };
    for (const Row& row : rows) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        const auto written = [file] {
            std::string text(4096, '\0');
            std::rewind(file);
            text.resize(std::fread(text.data(), 1, text.size(), file));
            std::fseek(file, 0, SEEK_END);  // the stream may be written again only after a seek
            return text;
        };
        std::string drawn;
        {
            CTerminalProgress progress(file, 10);
            row.steps(progress);
            drawn = written();
        }
        EXPECT_EQ(drawn.substr(drawn.rfind('\r') + 1), row.lastDraw) << row.name;
        // The destructor erases a line left standing, and only that.
        const bool standing = row.lastDraw != "\033[K" && row.lastDraw.back() != '\n';
        EXPECT_EQ(written(), drawn + (standing ? "\r\033[K" : "")) << row.name;
        std::fclose(file);
    }
}

TEST(TerminalProgress, RunSummary) {
    struct Row {
        int toDest, toSource, unchanged;
        double seconds;
        std::string expected;
    } rows[] = {
        {12, 3, 4980, 1.44, "12 files copied to the destination, 3 to the source, 4,980 unchanged, 1.4 s"},
        {0, 0, 1234567, 59.96, "0 files copied to the destination, 1,234,567 unchanged, 1 min 0 s"},
        {1, 0, 0, 7384, "1 file copied to the destination, 0 unchanged, 2 h 3 min"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RunSummary(row.toDest, row.toSource, row.unchanged, row.seconds), row.expected);
    }
}

}  // namespace
