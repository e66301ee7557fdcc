// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The terminal behind standard error, for the progress line and the messages of unattended runs.
// Any thread.

#include <string>

namespace platform {

// Writes "tandrel: " + text as one message on standard error, its control bytes defused: what an
// unattended run says so that a terminal, or cron's mail, shows it.
void PrintMessage(const std::string& text);

// True when standard error is a terminal.
bool StandardErrorIsTerminal();
// The terminal's width in columns; 80 when it cannot be read.
int TerminalColumns();
// The columns a printable character takes on a terminal, as the C library's wcwidth says under a UTF-8
// locale (whatever the program's locale): 0 for marks drawn onto the character before, 2 for wide ones;
// 1 for what it does not know.
int CharacterColumns(char32_t c);

}  // namespace platform
