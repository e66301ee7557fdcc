// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LastError.h"

#include <string.h>

namespace platform {

namespace {
thread_local int t_lastError = 0;
}  // namespace

int LastError() {
    return t_lastError;
}

void SetLastError(int err) {
    t_lastError = err;
}

std::string ErrorText(int err) {
    char buf[256];
    buf[0] = '\0';
    // The GNU strerror_r may return a static string instead of filling buf.
    const char* text = strerror_r(err, buf, sizeof buf);
    std::string result = text ? text : buf;
    for (char& c : result) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return result;
}

}  // namespace platform
