// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Error flag shared by the scanner and the worklist builder. Used by the run's thread only.

#include <cstdint>

class CEngineBase {
  public:
    // Throws CGenericException("Directory Error") when m_nError is not 0.
    void CheckError() const;
    // Stores error, then CheckError; with 0, throws the last system error if one is recorded.
    void SetError(int32_t error);

    int32_t m_nError = 0;

  protected:
    CEngineBase() = default;
    ~CEngineBase() = default;
};
