// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/IgnoreRule.h"

#include <gtest/gtest.h>

namespace {

struct IgnoreRow {
    const char* name;
    const char* ignore;
    const char* file;
    bool ignored;
};

TEST(IgnoreRule, DecidesByExtensionAsWritten) {
    const IgnoreRow rows[] = {
        {"bare word", "bak", "a.bak", true},
        {"dot form", ".bak", "a.bak", true},
        {"star form", "*.bak", "a.bak", true},
        {"quoted form", "\"bak\"", "a.bak", true},
        {"quoted star form", "\"*.bak\"", "a.bak", true},
        {"file in upper case", "bak", "A.BAK", true},
        {"entry in upper case", "BAK", "a.bak", true},
        {"longer extension is another", "bak", "a.bak2", false},
        {"shorter extension is another", "bak2", "a.bak", false},
        {"extension inside the name does not count", "bak", "a.bak.txt", false},
        {"last dot decides", "gz", "a.tar.gz", true},
        {"double extension is not an entry", "tar.gz", "a.tar.gz", false},
        {"leading dot is an extension", "profile", ".profile", true},
        {"no extension not matched by words", "bak tmp", "Makefile", false},
        {"empty quotes match no extension", "\"\"", "Makefile", true},
        {"trailing dot counts as no extension", "\"\"", "name.", true},
        {"empty quotes leave extensions alone", "\"\"", "a.txt", false},
        {"default list second entry", "bak tmp", "x.tmp", true},
        {"default list other file", "bak tmp", "x.txt", false},
        {"commas", "bak,tmp,log", "x.log", true},
        {"semicolons and blanks", "bak; tmp ;log", "x.tmp", true},
        {"tabs", "bak\ttmp", "x.tmp", true},
        {"empty list", "", "a.bak", false},
        {"separators only", " ,; ", "a", false},
        {"bare star says nothing", "*", "a.txt", false},
        {"bare star says nothing about no extension", "* .", "Makefile", false},
        {"path: only the last element counts", "bak", "dir.bak/file", false},
        {"path with extension", "bak", "dir/file.BaK", true},
        {"non-ASCII bytes compare exactly", "\xc3\xa9", "a.\xc3\xa9", true},
        {"non-ASCII case is not folded", "\xc3\xa9", "a.\xc3\x89", false},
    };
    for (const IgnoreRow& row : rows) {
        const CIgnoreRule rule(row.ignore);
        EXPECT_EQ(rule.IsIgnored(row.file), row.ignored) << row.name;
    }
}

}  // namespace
