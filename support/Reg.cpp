// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Reg.h"

#include <climits>
#include "support/PathUtil.h"
#include "support/ProfileFile.h"

CReg::CReg(int mode, const std::string& section, const std::string& file)
    : m_nMode(mode), m_strFile(file), m_strSection(section) {}

void CReg::SetSection(const std::string& section) {
    m_strSection = section;
}

void CReg::ExchangeString(const std::string& key, const std::string& defaultValue, std::string& var) {
    if (m_nMode == Read) {
        var = GetString(key, defaultValue);
    } else {
        WriteString(key, var);
    }
}

void CReg::ExchangeInt(const std::string& key, int defaultValue, int& var) {
    if (m_nMode == Read) {
        var = ParseInt(GetString(key, std::string()), defaultValue);
    } else {
        WriteString(key, IntToText(var));
    }
}

std::string CReg::GetString(const std::string& key, const std::string& defaultValue) const {
    if (m_pending.empty()) {
        return CProfileFile::ReadValue(m_strFile, m_strSection, key, defaultValue);
    }
    CProfileFile profile(CProfileFile::ReadText(m_strFile));
    // A value that cannot be stored reads as absent, as it would from the file.
    for (const CProfileFile::Entry& entry : m_pending) {
        (void)profile.Set(entry.section, entry.key, entry.value);
    }
    std::string value;
    return profile.Get(m_strSection, key, value) ? value : defaultValue;
}

bool CReg::Commit() {
    if (m_pending.empty()) {
        return true;
    }
    const bool stored = CProfileFile::WriteValues(m_strFile, m_pending);
    m_pending.clear();
    return stored;
}

int CReg::ParseInt(const std::string& text, int defaultValue) {
    std::string::size_type i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i == text.size()) {
        return defaultValue;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in a wider type and clamp, so a huge number never wraps into a different switch value.
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    return static_cast<int>(value < INT_MIN ? INT_MIN : value);
}

void CReg::WriteString(const std::string& key, const std::string& value) {
    m_pending.push_back({m_strSection, key, value});
}
