// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform layer's last error: one errno value per thread, set by every failing operation of
// platform/ right after the call that failed. Any thread.

#include <string>

namespace platform {

// The calling thread's last error (0 when none was recorded since the last SetLastError(0)).
int LastError();
void SetLastError(int err);

// The system's sentence for an errno value, carriage returns and line feeds turned into blanks.
std::string ErrorText(int err);

}  // namespace platform
