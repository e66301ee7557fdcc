// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace platform {

namespace {

std::atomic<int> g_stopSignal{0};

void OnStopSignal(int signal) {
    int expected = 0;
    if (!g_stopSignal.compare_exchange_strong(expected, signal)) {
        _exit(128 + expected);  // asked twice: the person means it
    }
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a copy waiting in the kernel comes back at once and sees the request.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

void IgnoreBrokenPipes() {
    signal(SIGPIPE, SIG_IGN);
}

int StopSignal() {
    return g_stopSignal.load(std::memory_order_relaxed);
}

}  // namespace platform
