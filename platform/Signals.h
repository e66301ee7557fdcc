// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stopping an unattended run from outside: SIGINT (Ctrl-C), SIGTERM and SIGHUP ask it to stop between
// items instead of killing it in the middle of a copy. Any thread.

namespace platform {

// From now on the first of these signals is remembered and ends the copy in flight (its temporary file
// is removed, its target untouched); a second one ends the process at once, with status 128 + signal.
void CatchStopSignals();
// Writes to a closed pipe or terminal (a reader that went away: "| head", a closed ssh session) fail
// with EPIPE instead of killing the process: the run goes on and its log stays complete.
void IgnoreBrokenPipes();
// The signal that asked the run to stop, or 0.
int StopSignal();

}  // namespace platform
