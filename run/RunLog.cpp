// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/RunLog.h"

#include <algorithm>
#include <atomic>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Error.h"
#include "platform/Terminal.h"
#include "res/Strings.h"
#include "support/TraceLog.h"

void WriteRunLog(const std::string& text, int level) {
    // A per-user folder that lasts: the shared temporary folder lets another user take the name, and is
    // emptied at boot.
    CTraceLog log(res::kRunLogName, platform::StateFolder());
    // The run log always carries the time, whatever "LogDateTime" says for headers.
    const std::string stamp = platform::LocalTimeStamp();
    std::string line;
    if (level == RunLogEntry) {
        line = "[" + stamp + "] " + text;
    } else if (level == RunLogDetail) {
        line = "  [" + stamp + "] " + text;
    }
    line.erase(std::remove_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }),
               line.end());
    // File names in a line may hold any byte: escape sequences would be obeyed by the terminal of whoever
    // reads the log with cat or tail. Other control bytes than a tab are shown as "?".
    std::replace_if(
        line.begin(), line.end(),
        [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return (byte < 0x20 && c != '\t') || byte == 0x7f;
        },
        '?');
    if (!log.Write(line, false)) {
        // Said once: a run whose log is lost must be seen, not repeated on every line.
        static std::atomic<bool> told{false};
        if (!told.exchange(true)) {
            platform::PrintMessage(platform::LastError().About(res::kRunLogUnwritable + log.Path()));
        }
    }
}
