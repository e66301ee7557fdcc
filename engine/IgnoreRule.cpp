// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/IgnoreRule.h"

#include "support/AsciiCase.h"
#include "support/PathUtil.h"

namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == ';';
}

}  // namespace

CIgnoreRule::CIgnoreRule(const std::string& ignoreText) {
    size_t i = 0;
    while (i < ignoreText.size()) {
        while (i < ignoreText.size() && IsSeparator(ignoreText[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < ignoreText.size() && !IsSeparator(ignoreText[i])) {
            ++i;
        }
        std::string_view entry(ignoreText.data() + start, i - start);
        if (entry.empty()) {
            continue;
        }
        if (entry == "\"\"") {
            m_bNoExtension = true;
            continue;
        }
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') {
            entry = entry.substr(1, entry.size() - 2);
        }
        if (!entry.empty() && entry.front() == '*') {
            entry.remove_prefix(1);
        }
        if (!entry.empty() && entry.front() == '.') {
            entry.remove_prefix(1);
        }
        if (entry.empty()) {
            continue;
        }
        m_extensions.push_back(LowerAscii(entry));
    }
}

bool CIgnoreRule::IsIgnored(std::string_view fileName) const {
    if (Empty()) {
        return false;
    }
    const std::string_view ext = GetExtension(fileName);
    if (ext.empty()) {
        return m_bNoExtension;
    }
    for (const std::string& known : m_extensions) {
        if (EqualIgnoringCase(ext, known)) {
            return true;
        }
    }
    return false;
}
