// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// UTF-8 in file names, which may hold any bytes: decoding and encoding one character. Plain C++; any thread.

#include <cstddef>
#include <string>
#include <string_view>

// The length of the UTF-8 character at text[i] and its code point; 0 when no valid one starts there (a
// stray or missing continuation byte, an overlong form, a surrogate, beyond U+10FFFF). ASCII is length 1.
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& code);

// Appends code as UTF-8.
void AppendUtf8(std::string& out, char32_t code);
