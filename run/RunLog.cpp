#include "run/RunLog.h"

#include <algorithm>

#include "platform/Clock.h"
#include "res/Strings.h"
#include "support/TraceLog.h"

void WriteRunLog(const std::string& text, int level) {
    CTraceLog log(res::kRunLogName);
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
    log.Write(line, false);
}
