// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/GenericException.h"

#include <algorithm>
#include <cstring>

#include "res/Strings.h"

CGenericException::CGenericException(const char* text) : m_strMessage(text ? text : res::kNoError) {}

void CGenericException::GetErrorMessage(char* buffer, unsigned size, unsigned* /*helpContext*/) const {
    // A zero-sized buffer has no room even for the terminator: write nothing.
    if (buffer && size > 0) {
        const size_t n = std::min<size_t>(m_strMessage.size(), size - 1);
        std::memcpy(buffer, m_strMessage.data(), n);
        buffer[n] = '\0';
    }
}

void RaisePathError(const std::string& path, platform::CError err) {
    platform::SetLastError(err);
    throw CGenericException(err.About(path));
}
