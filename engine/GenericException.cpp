// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/GenericException.h"

#include <algorithm>
#include <cstring>

#include "platform/LastError.h"
#include "res/Strings.h"
#include "support/PathUtil.h"

CGenericException::CGenericException(const char* text) : m_strMessage(text ? text : res::kNoError) {}

bool CGenericException::GetErrorMessage(char* buffer, unsigned size, unsigned* /*helpContext*/) const {
    // A zero-sized buffer has no room even for the terminator: write nothing.
    if (buffer && size > 0) {
        const size_t n = std::min<size_t>(m_strMessage.size(), size - 1);
        std::memcpy(buffer, m_strMessage.data(), n);
        buffer[n] = '\0';
    }
    return true;
}

void RaiseSystemError(const char* prefix) {
    if (platform::LastError() == 0) {
        return;
    }
    if (!prefix) {
        throw CGenericException(SystemErrorText());
    }
    throw CGenericException(std::string(prefix) + ": " + SystemErrorText());
}

void RaisePathError(const std::string& path, int err) {
    platform::SetLastError(err);
    throw CGenericException(path + ": " + SystemErrorText());
}
