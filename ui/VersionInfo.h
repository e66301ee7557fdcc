// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reader of the program's version table: string values under a prefix, and the fixed version numbers.
// The prefix is process-wide; calls are serialised, but a caller's prefix holds only until the next
// SetVersionInfoSource. Any thread.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "res/Resources.h"

// The prefix the About dialog reads its strings under.
inline constexpr const char* kAboutVersionPrefix = "\\StringFileInfo\\000004E4\\";

// Puts prefix in front of every key that GetVersionString looks up.
void SetVersionInfoSource(const std::string& prefix);

// The value at prefix + key. Block names and keys match ignoring ASCII case. The key "\" with an empty
// prefix gives the fixed record's bytes. On failure returns false and out is empty.
bool GetVersionString(std::string& out, const std::string& key);

// The fixed record (the root block "\", read with an empty prefix; the prefix is restored afterwards).
// On failure returns false and info is zeroed.
bool GetFixedVersionInfo(res::FixedVersionInfo& info);

// Major and minor from the product version's high double word, build from the low 16 bits of the low
// double word; each output may be null. True exactly when the third number (high 16 bits of the low
// double word) is 0. Without a table the outputs are 0.
bool GetProductVersion(uint16_t* major, uint16_t* minor, uint16_t* build);

// A replacement table for tests; TestSetVersionTable(nullptr) restores the compiled-in one.
struct VersionTable {
    bool hasFixed = true;
    res::FixedVersionInfo fixed{};
    std::string language = res::kVersionLanguage;
    std::vector<std::pair<std::string, std::string>> strings;
};
void TestSetVersionTable(const VersionTable* table);
