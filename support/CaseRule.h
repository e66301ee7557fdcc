// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a file system that ignores letter case compares names, and names folded that way. Each driver
// compares by its own table, and they differ (measured on exfat-fuse, lowntfs-3g ignore_case and fusefat):
// exFAT makes ς, σ and Σ one name, NTFS only σ and Σ; both keep the Kelvin sign apart from K, ß from ẞ,
// ı and İ from I and i, µ from μ, and NFC from NFD. Plain C++; any thread.

#include <cstdint>
#include <string>
#include <string_view>

enum class CaseRule : uint8_t {
    Exact,  // names match byte for byte
    Ascii,  // only A-Z and a-z are one letter (FAT through fusefat, which refuses other letters)
    ExFat,  // exFAT's default up-case table
    Ntfs,   // the up-case table that mkntfs writes
    Any,    // not known: every pair that one of the rules above makes one name is one name
};

// name as a medium of this rule compares it: letters the rule makes one are upper-cased alike (UTF-16
// units, so nothing beyond U+FFFF); bytes that are not UTF-8 stay as they are.
std::string FoldCase(std::string_view name, CaseRule rule);
