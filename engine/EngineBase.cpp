// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/EngineBase.h"

#include "engine/GenericException.h"
#include "res/Strings.h"

void CEngineBase::CheckError() const {
    if (m_nError != 0) {
        throw CGenericException(res::kDirectoryError);
    }
}

void CEngineBase::SetError(int32_t error) {
    m_nError = error;
    CheckError();
    RaiseSystemError(nullptr);
}
