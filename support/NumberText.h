// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numbers as the program writes them in its texts, whatever the locale.

#include <string>

// n with a comma between groups of three digits: "4,980", "-1,024".
inline std::string Grouped(long long n) {
    std::string digits = std::to_string(n);
    const size_t sign = digits[0] == '-' ? 1 : 0;
    for (size_t i = digits.size(); i > sign + 3; i -= 3) {
        digits.insert(i - 3, 1, ',');
    }
    return digits;
}
