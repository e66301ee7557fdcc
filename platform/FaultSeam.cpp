// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FaultSeam.h"

#include <array>
#include <atomic>

#include "platform/Error.h"

namespace platform {

namespace {

constexpr size_t kOps = 8;

struct Fault {
    std::atomic<int> remaining{0};  // calls until the fault fires; 0 = none armed
    std::atomic<int> err{0};
};

std::array<Fault, kOps> g_faults;
std::atomic<bool> g_anyArmed{false};
std::atomic<bool> g_forceNamedTemp{false};
std::atomic<bool> g_forceMediumProbe{false};

}  // namespace

void TestInjectFault(FaultOp op, int nth, int err) {
    Fault& fault = g_faults[static_cast<size_t>(op)];
    fault.err = err;
    fault.remaining = nth;
    if (nth > 0) {
        g_anyArmed = true;
    }
}

void TestClearFaults() {
    for (Fault& fault : g_faults) {
        fault.remaining = 0;
    }
    g_anyArmed = false;
    g_forceNamedTemp = false;
    g_forceMediumProbe = false;
}

bool FaultHit(FaultOp op) {
    if (!g_anyArmed.load(std::memory_order_relaxed)) {
        return false;
    }
    Fault& fault = g_faults[static_cast<size_t>(op)];
    int before = fault.remaining.load();
    while (before > 0 && !fault.remaining.compare_exchange_weak(before, before - 1)) {
    }
    if (before == 1) {
        SetLastError(fault.err);
        return true;
    }
    return false;
}

void TestForceNamedTempFiles(bool force) {
    g_forceNamedTemp = force;
}

bool NamedTempFilesForced() {
    return g_forceNamedTemp.load(std::memory_order_relaxed);
}

void TestForceMediumProbe(bool force) {
    g_forceMediumProbe = force;
}

bool MediumProbeForced() {
    return g_forceMediumProbe.load(std::memory_order_relaxed);
}

}  // namespace platform
