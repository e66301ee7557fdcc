// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the engine asks of a run's progress window: the bar (range and position), the status line and the
// caption. The engine calls it from the run's thread; implementations forward to the window's thread and
// drop calls once the window is gone. A null IProgress* means "no progress window".

#include <cstdint>
#include <string>

class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void SetRange(int low, int high) = 0;
    virtual void SetPos(int pos) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetCaption(const std::string& text) = 0;
};

// Sets the bar's range to low..high and the caption; nothing without a window.
void ProgressStart(IProgress* progress, int low, int high, const std::string& caption);
// Shows status, moves the bar to counter and adds 1 to counter; nothing (counter untouched) without a window.
void ProgressStep(IProgress* progress, const std::string& status, int& counter);
// The status line of a copy that tells its progress (platform::CopyProgress): "240 of 1,024 MiB: " and
// the file, the bytes first so that a long path cannot push them out of sight.
std::string BytesStatus(uint64_t done, uint64_t size, const std::string& file);
