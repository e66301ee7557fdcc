// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one order of names within a folder, used wherever entries are listed: the folder tree, and the
// scan, which the worklist, the job list, the run log and the copies follow. Letters compare without
// regard to case (A to Z only, so UTF-8 bytes keep their order after all ASCII), and the bytes break
// ties, so that the order is total and the same on every machine and file system. Any thread.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "support/AsciiCase.h"

// Negative, zero or positive as a comes before, equals or comes after b.
inline int CompareNames(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    // Names of one folder often share a long start ("Report draft 00123"): skip it eight bytes at a time.
    for (uint64_t x = 0, y = 0; i + 8 <= common; i += 8) {
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            break;
        }
    }
    for (; i < common; ++i) {
        if (a[i] == b[i]) {
            continue;  // fold only where the bytes differ
        }
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

// Sorts listed entries (anything with a `name`) into that order. The first eight letters, folded, decide
// most comparisons as one number; only names that share them are compared in full. Entries are moved
// once, into their place.
template <typename Entries>
void SortByName(Entries& entries) {
    struct Slot {
        uint64_t start;  // the first eight bytes, folded, big-endian; zeros after a shorter name
        uint32_t index;
    };
    std::vector<Slot> order;
    order.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string_view name = entries[i].name;
        uint64_t start = 0;
        for (size_t k = 0; k < 8; ++k) {
            start = (start << 8) | (k < name.size() ? static_cast<unsigned char>(LowerAscii(name[k])) : 0u);
        }
        order.push_back({start, static_cast<uint32_t>(i)});
    }
    std::sort(order.begin(), order.end(), [&](const Slot& a, const Slot& b) {
        if (a.start != b.start) {
            return a.start < b.start;
        }
        return CompareNames(entries[a.index].name, entries[b.index].name) < 0;
    });
    Entries sorted;
    sorted.reserve(entries.size());
    for (const Slot& slot : order) {
        sorted.push_back(std::move(entries[slot.index]));
    }
    entries.swap(sorted);
}
