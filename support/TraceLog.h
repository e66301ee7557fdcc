// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Append-only text log in the temporary folder: each Write opens, appends one line and closes; a new file
// starts with a three-line header. The switches file "VOLMDEBUGLOG.INI" in the configuration folder turns
// logging off ("Trace" 0) or the header's date off ("LogDateTime" 0); it is read at construction.
// One object is used by one thread at a time; objects on different threads may append to one file.

#include <string>

class CTraceLog final {
  public:
    // path := folder (by default the temporary folder) + fileName; then the switches are loaded
    // (defaults where absent).
    explicit CTraceLog(const std::string& fileName, const std::string& folder = std::string());
    // Saves the switches: the switches file then holds all four keys. Values the file already holds are
    // left as they are, so an edit made while this object lived is not undone.
    ~CTraceLog();
    CTraceLog(const CTraceLog&) = delete;
    CTraceLog& operator=(const CTraceLog&) = delete;

    // Appends text (after "; " when comment) and a line end, first the header when the file is empty, and
    // copies the line to the debugger output. Nothing at all when "Trace" is 0. A file that cannot be
    // written (also a link, or a file of another user) loses the line and gives false (the platform's
    // last error says why); the copy is still made.
    [[nodiscard]] bool Write(const std::string& text, bool comment = false);

    // CReg::Read loads the switches, any other mode saves them.
    void ExchangeSwitches(int mode);

    // The local date and time, or "<no timeinfo>" when "LogDateTime" is 0.
    std::string TimeStamp() const;

    const std::string& Path() const { return m_strPath; }

  private:
    const std::string m_strPath;
    int m_nTrace = 1;
    int m_nLogDateTime = 1;
    int m_nLogSysInfo = 1;       // kept and saved; changes nothing written
    int m_nDevStudioFormat = 0;  // kept and saved; changes nothing written
};
