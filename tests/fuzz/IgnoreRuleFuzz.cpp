// SPDX-License-Identifier: GPL-3.0-or-later
// The ignore list comes from outside (a stick's "__TD.RVX"): any text must build a rule, and the rule
// must judge a file by its last name element alone, ignoring ASCII case, the same through both entries.
// Input: the ignore text, then a file name, then a folder path (0x01 between).

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/IgnoreRule.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

std::string SwapAsciiCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto p = fuzz::Pieces(data, size, 3);
    const std::string& ignore = p[0];
    std::string name = p[1];
    const std::string& folder = p[2];
    // A name has no "/" (it is one element of a path).
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    const CIgnoreRule rule(ignore);
    const bool ignored = rule.IsIgnored(name);
    FUZZ_CHECK(rule.IsIgnored(folder + "/" + name) == ignored);
    FUZZ_CHECK(CIgnoreRule(SwapAsciiCase(ignore)).IsIgnored(name) == ignored);
    FUZZ_CHECK(rule.IsIgnored(SwapAsciiCase(name)) == ignored);
    if (rule.Empty()) {
        FUZZ_CHECK(!ignored);
    }
    return 0;
}
