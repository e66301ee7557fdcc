// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a run asks of the program around it: reporting a message (a box in interactive use, a run-log
// line in unattended runs), enabling the main window, and the run's progress window. The main dialog
// implements it; tests fake it. Called from the run's thread.

#include <string>

class IProgress;

// Message types for Report (button and icon sets) and its answers.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbOkCancel = 0x01;
inline constexpr unsigned kMbIconHand = 0x10;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

class IRunHost {
  public:
    virtual ~IRunHost() = default;
    // Shows or logs text with a message type (kMb...); returns the answer, or -1 when
    // the text went to the run log.
    virtual int Report(const std::string& text, unsigned type, unsigned helpId) = 0;
    virtual void EnableMainWindow(bool enable) = 0;
    // The run's progress window, or null.
    virtual IProgress* Progress() = 0;
    // True once the run was asked to stop (a signal to an unattended run): it stops before the next item.
    virtual bool StopRequested() { return false; }
};
