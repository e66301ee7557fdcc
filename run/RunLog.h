// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run log of unattended runs: one line per call, appended to "TandrelAutoRun.log" in the per-user
// state folder (platform::StateFolder) through the trace log, so the switches file's "Trace" 0 turns
// it off. Any thread.

#include <string>

enum RunLogLevel { RunLogBlank = 1, RunLogEntry = 2, RunLogDetail = 3 };

// Appends the line for level: RunLogEntry "[" + time stamp + "] " + text, RunLogDetail the same after
// two blanks, RunLogBlank and any other level an empty line (text ignored). Every CR and LF is removed
// from the whole line, so a multi-line text becomes one line; other control bytes but a tab become "?".
// A line that cannot be written is lost; the first such loss is said on standard error.
void WriteRunLog(const std::string& text, int level);
