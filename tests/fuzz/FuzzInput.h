// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Splits a fuzzer's input into a few byte strings, so one input drives several arguments. Pieces are
// separated by the byte 0x01; missing pieces are empty. Any thread.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace fuzz {

inline std::vector<std::string> Pieces(const uint8_t* data, size_t size, size_t count) {
    std::vector<std::string> pieces(count);
    size_t index = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0x01 && index + 1 < count) {
            ++index;
        } else {
            pieces[index].push_back(static_cast<char>(data[i]));
        }
    }
    return pieces;
}

// Stops the fuzzer with a finding when a property does not hold.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::fflush(stderr);                                                                   \
            __builtin_trap();                                                                      \
        }                                                                                          \
    } while (0)

}  // namespace fuzz
