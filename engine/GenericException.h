// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's one exception: a message text for the user ("Directory Error", or a path, ": " and the
// system's text). Thrown by value, caught by reference, once, by the job runner. Any thread.

#include <exception>
#include <string>

#include "platform/Error.h"

class CGenericException : public std::exception {
  public:
    explicit CGenericException(std::string text) : m_strMessage(std::move(text)) {}

    const char* what() const noexcept override { return m_strMessage.c_str(); }
    std::string GetMessageText() const { return m_strMessage; }

  private:
    std::string m_strMessage;
};

// Throws CGenericException with path + ": " + the text of err, and leaves err as the last error.
[[noreturn]] void RaisePathError(const std::string& path, platform::CError err);
