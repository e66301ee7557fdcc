// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TraceLog.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Error.h"
#include "res/Strings.h"
#include "support/ProfileFile.h"
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

bool CTraceLog::Write(const std::string& text, bool comment) {
    if (m_nTrace == 0) {
        return true;
    }
    const std::string line = (comment ? "; " : "") + text;
    const std::string header = "; " + TimeStamp() + " " + m_strPath + " created." + kLineEnd +
                               "; Please send this file to Wendrik" + kLineEnd + kLineEnd;
    const bool written = platform::AppendToLog(m_strPath, header, line + kLineEnd);
    const platform::CError error = platform::LastError();
    platform::DebugOutput(line + "\n");
    platform::SetLastError(error);
    return written;
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
    // One read of the file for all four: the run log opens a trace log for every line.
    const CProfileFile stored(CProfileFile::ReadText(res::kSwitchesFile));
    for (const Switch& entry : switches) {
        std::string text;
        const bool present = stored.Get(kSection, entry.key, text);
        if (mode == CReg::Read) {
            *entry.value = CReg::ParseInt(present ? text : std::string(), entry.defaultValue);
        } else if (!present) {
            // The values never change while the object lives, so only a missing key needs writing;
            // writing the others would undo a user's edit made in the meantime, or one by another process.
            reg.ExchangeInt(entry.key, entry.defaultValue, *entry.value);
        }
    }
}

std::string CTraceLog::TimeStamp() const {
    return m_nLogDateTime == 0 ? std::string("<no timeinfo>") : platform::LocalTimeStamp();
}
