// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include <time.h>

namespace platform {

int CurrentUtcYear() {
    time_t now = time(nullptr);
    struct tm utc;
    gmtime_r(&now, &utc);
    return utc.tm_year + 1900;
}

std::string LocalTimeStamp() {
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    // %x and %X follow LC_TIME, which the program takes from the user's environment at start-up.
    char buf[128];
    // The locale's own date format is what the user reads; a two-digit year there is the locale's choice.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
    size_t n = strftime(buf, sizeof buf, "%x %X", &local);
#pragma GCC diagnostic pop
    return std::string(buf, n);
}

}  // namespace platform
