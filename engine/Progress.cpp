// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Progress.h"

void ProgressStart(IProgress* progress, int low, int high, const std::string& caption) {
    if (!progress) {
        return;
    }
    progress->SetRange(low, high);
    progress->SetCaption(caption);
}

void ProgressStep(IProgress* progress, const std::string& status, int& counter) {
    if (!progress) {
        return;
    }
    progress->SetStatus(status);
    progress->SetPos(counter);
    ++counter;
}
