// SPDX-License-Identifier: GPL-3.0-or-later
// The annotated mutex: a scoped lock that lets go in between, and a wait with a deadline.
#include "support/Mutex.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

using Clock = std::chrono::steady_clock;

TEST(MutexTest, AWaitGivesTheMutexUpAndSaysWhetherItWasNotified) {
    CMutex mutex;
    CCondVar changed;
    bool ready = false;  // under mutex
    CMutexLock lock(mutex);
    // The notifier gets in only while the wait has given the mutex up: true, the mutex held again.
    std::thread notifier([&] {
        CMutexLock inner(mutex);
        ready = true;
        changed.NotifyAll();
    });
    while (!ready) {
        ASSERT_TRUE(changed.WaitUntil(mutex, Clock::now() + std::chrono::seconds(30)));
    }
    // Nobody notifies: false once the deadline has passed (a spurious wake-up before it may say true).
    const auto deadline = Clock::now() + std::chrono::milliseconds(20);
    while (changed.WaitUntil(mutex, deadline)) {
        ASSERT_LT(Clock::now(), deadline);
    }
    EXPECT_GE(Clock::now(), deadline);
    // Unlock lets another thread in; Lock takes the mutex back for the destructor to give up.
    lock.Unlock();
    notifier.join();
    std::thread([&] { CMutexLock inner(mutex); }).join();
    lock.Lock();
}
