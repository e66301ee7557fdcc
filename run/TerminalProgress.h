#pragma once
// The progress of an unattended run as one line on a terminal: phase, items done of total and the
// current file, redrawn in place and cleared at the end. Used only when standard error is a terminal,
// so cron mail and redirected output stay as they were. Thread of the run only.

#include <chrono>
#include <string>

#include "engine/Progress.h"

class CTerminalProgress final : public IProgress {
  public:
    CTerminalProgress();
    ~CTerminalProgress() override;
    CTerminalProgress(const CTerminalProgress&) = delete;
    CTerminalProgress& operator=(const CTerminalProgress&) = delete;

    void SetRange(int low, int high) override;
    void SetPos(int pos) override;
    void SetStatus(const std::string& text) override;
    void SetCaption(const std::string& text) override;

    // Erases the line; later calls draw it again.
    void Clear();

  private:
    // Redraws at most every few dozen milliseconds: a redraw per file would cost more than the run.
    void Draw(bool force);

    const int m_nColumns;
    std::string m_strCaption;
    std::string m_strStatus;
    long long m_nLow = 0;
    long long m_nHigh = 0;
    long long m_nPos = 0;
    bool m_bDrawn = false;
    std::chrono::steady_clock::time_point m_lastDraw;
};
