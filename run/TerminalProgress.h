// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress of an unattended run as one line on a terminal: phase, items done of total and the
// current file, redrawn in place and ended with a summary. Used only when standard error is a terminal,
// so cron mail and redirected output stay as they were. Any thread: the run's thread updates it, another
// (an interrupt handler, a message) may clear or finish it.

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/Progress.h"
#include "support/Mutex.h"

class CTerminalProgress final : public IProgress {
  public:
    // Standard error, as wide as the terminal is at each redraw.
    CTerminalProgress();
    // Into out, columns wide.
    CTerminalProgress(std::FILE* out, int columns);
    // Erases the line when Finish was not called: an interrupted or failed run leaves the cursor at the
    // start of an empty line, never behind the progress text.
    ~CTerminalProgress() override;
    CTerminalProgress(const CTerminalProgress&) = delete;
    CTerminalProgress& operator=(const CTerminalProgress&) = delete;

    // A new range or caption starts a new phase: the previous phase's file is no longer shown.
    void SetRange(int low, int high) override;
    void SetPos(int pos) override;
    void SetStatus(const std::string& text) override;
    void SetCaption(const std::string& text) override;

    // Erases the line, so that other output starts on a clean line; the next update draws it again.
    void Clear();
    // Replaces the line by summary and a line end (only erases it when summary is empty); later updates
    // draw nothing.
    void Finish(const std::string& summary);

  private:
    // Redraws at most every few dozen milliseconds: a redraw per file would cost more than the run.
    void Draw(bool force) REQUIRES(m_mutex);
    void Write(const std::string& text) REQUIRES(m_mutex);

    CMutex m_mutex;
    std::FILE* const m_out;
    const int m_nColumns;  // 0: ask the terminal at each redraw
    std::string m_strCaption GUARDED_BY(m_mutex);
    std::string m_strStatus GUARDED_BY(m_mutex);
    long long m_nLow GUARDED_BY(m_mutex) = 0;
    long long m_nHigh GUARDED_BY(m_mutex) = 0;
    long long m_nPos GUARDED_BY(m_mutex) = 0;
    bool m_bDrawn GUARDED_BY(m_mutex) = false;
    bool m_bFinished GUARDED_BY(m_mutex) = false;
    std::chrono::steady_clock::time_point m_lastDraw GUARDED_BY(m_mutex);
};

// text as one terminal line no wider than columns: control bytes and bytes that are not UTF-8 shown as
// "?", wide characters counted as two columns, combining marks as none, and a long text shortened in
// the middle with "..." at a character boundary.
std::string FitToColumns(const std::string& text, int columns);

// The one-line end of a run, e.g. "12 copied to the destination, 3 to the source, 4,980 unchanged, 1.4 s".
std::string RunSummary(int toDestination, int toSource, int unchanged, double seconds);
