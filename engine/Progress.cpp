// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Progress.h"

#include "support/NumberText.h"

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

std::string BytesStatus(uint64_t done, uint64_t size, const std::string& file) {
    constexpr uint64_t kMiB = uint64_t{1} << 20;
    return Grouped(static_cast<long long>(done / kMiB)) + " of " +
           Grouped(static_cast<long long>(size / kMiB)) + " MiB: " + file;
}
