// SPDX-License-Identifier: GPL-3.0-or-later
// Combining ignore lists.
#include "support/IgnoreList.h"

std::string ExpandIgnoreList(const std::string& global, const std::string& folder) {
    std::string result;
    result.reserve(folder.size());
    for (char c : folder) {
        if (c == '+') {
            result += global;
        } else {
            result += c;
        }
    }
    return result;
}
