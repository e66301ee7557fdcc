// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The terminal behind standard error, for the progress line of unattended runs. Any thread.

namespace platform {

// True when standard error is a terminal.
bool StandardErrorIsTerminal();
// The terminal's width in columns; 80 when it cannot be read.
int TerminalColumns();

}  // namespace platform
