#pragma once
// The one order of names within a folder, used wherever entries are listed: the folder tree, and the
// scan, which the worklist, the job list, the run log and the copies follow. Letters compare without
// regard to case (A to Z only, so UTF-8 bytes keep their order after all ASCII), and the bytes break
// ties, so that the order is total and the same on every machine and file system. Any thread.

#include <algorithm>
#include <string_view>

#include "support/AsciiCase.h"

// Negative, zero or positive as a comes before, equals or comes after b.
inline int CompareNames(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(LowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(LowerAscii(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

// Sorts listed entries (anything with a `name`) into that order.
template <typename Entries>
void SortByName(Entries& entries) {
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return CompareNames(a.name, b.name) < 0; });
}
