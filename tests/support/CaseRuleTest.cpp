// SPDX-License-Identifier: GPL-3.0-or-later
// The case rules of the media that ignore case.
#include "support/CaseRule.h"

#include <cstring>
#include <utility>

#include <gtest/gtest.h>

namespace {

// Which letters each rule makes one name, as measured on exfat-fuse, lowntfs-3g ignore_case and fusefat
// (which refuses letters beyond ASCII). Any makes one whatever one of the others does.
TEST(CaseRule, FoldsAsTheDriversCompare) {
    struct Row {
        const char* a;
        const char* b;
        const char* oneOn;  // the rules that make a and b one name: A(scii) E(xFAT) N(TFS) Y (Any)
    };
    const Row rows[] = {
        {"a", "A", "AENY"},
        {"\xC3\xA9", "\xC3\x89", "ENY"},               // é É
        {"\xC3\x9F", "\xE1\xBA\x9E", ""},              // ß ẞ
        {"\xCF\x82", "\xCF\x83", "EY"},                // ς σ
        {"\xCF\x83", "\xCE\xA3", "ENY"},               // σ Σ
        {"\xC4\xB1", "I", ""},                         // ı I
        {"\xC4\xB0", "i", ""},                         // İ i
        {"\xE2\x84\xAA", "k", ""},                     // Kelvin sign k
        {"\xC2\xB5", "\xCE\xBC", ""},                  // µ μ
        {"\xEF\xBC\xA1", "\xEF\xBD\x81", "ENY"},       // Ａ ａ
        {"\xC3\xA9", "e\xCC\x81", ""},                 // é as NFC and NFD
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", ""},  // beyond U+FFFF
        {"\xE2\xB1\xA5", "\xC8\xBA", "ENY"},           // ⱥ Ⱥ
        {"A\xFF", "a\xFF", "AENY"},                    // not UTF-8: the byte stays
    };
    const std::pair<CaseRule, char> rules[] = {
        {CaseRule::Ascii, 'A'}, {CaseRule::ExFat, 'E'}, {CaseRule::Ntfs, 'N'}, {CaseRule::Any, 'Y'}};
    for (const Row& row : rows) {
        for (const auto& [rule, letter] : rules) {
            EXPECT_EQ(FoldCase(row.a, rule) == FoldCase(row.b, rule),
                      std::strchr(row.oneOn, letter) != nullptr)
                << row.a << " " << row.b << " rule " << letter;
        }
        EXPECT_EQ(FoldCase(row.a, CaseRule::Exact), row.a);
    }
}

}  // namespace
