// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rule that combines the global ignore list with a folder's own list. Any thread.

#include <string>

// A copy of folder in which every "+" stands replaced by global, left to right; inserted text is not
// scanned again. A folder list without "+" stands alone and is returned unchanged.
std::string ExpandIgnoreList(const std::string& global, const std::string& folder);
