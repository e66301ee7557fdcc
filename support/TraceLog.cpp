// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TraceLog.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "res/Strings.h"
#include "support/Reg.h"

namespace {

const char* const kSection = "VOLMDEBUGLOG";
// Log files here are Linux text files.
const char* const kLineEnd = "\n";

}  // namespace

CTraceLog::CTraceLog(const std::string& fileName, const std::string& folder)
    : m_strPath((folder.empty() ? platform::TempFolder() : folder) + fileName) {
    ExchangeSwitches(CReg::Read);
}

CTraceLog::~CTraceLog() {
    ExchangeSwitches(CReg::Write);
}

void CTraceLog::Write(const std::string& text, bool comment) {
    if (m_nTrace == 0) {
        return;
    }
    const std::string line = (comment ? "; " : "") + text;
    const std::string header = "; " + TimeStamp() + " " + m_strPath + " created." + kLineEnd +
                               "; Please send this file to " + m_strRecipient + kLineEnd + kLineEnd;
    // A log that cannot be written loses the line; nobody could be told without a log.
    (void)platform::AppendToLog(m_strPath, header, line + kLineEnd);
    platform::DebugOutput(line + "\n");
}

void CTraceLog::ExchangeSwitches(int mode) {
    struct Switch {
        const char* key;
        int defaultValue;
        int* value;
    };
    const Switch switches[] = {
        {"Trace", 1, &m_nTrace},
        {"LogDateTime", 1, &m_nLogDateTime},
        {"DevStudioFormat", 0, &m_nDevStudioFormat},
        {"LogSysInfo", 1, &m_nLogSysInfo},
    };
    CReg reg(mode, kSection, res::kSwitchesFile);
    for (const Switch& entry : switches) {
        if (mode == CReg::Read) {
            reg.ExchangeInt(entry.key, entry.defaultValue, *entry.value);
            continue;
        }
        // The values never change while the object lives, so only a missing key needs writing; writing
        // the others would undo a user's edit made in the meantime, or one by another process.
        const std::string missing = "\n";  // no stored value holds a line break
        if (reg.GetString(entry.key, missing) == missing) {
            reg.ExchangeInt(entry.key, entry.defaultValue, *entry.value);
        }
    }
}

std::string CTraceLog::TimeStamp() const {
    return m_nLogDateTime == 0 ? std::string("<no timeinfo>") : platform::LocalTimeStamp();
}
