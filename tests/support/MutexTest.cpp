// SPDX-License-Identifier: GPL-3.0-or-later
// The annotated mutex: a scoped lock that lets go in between, and a wait with a deadline.
#include "support/Mutex.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

using Clock = std::chrono::steady_clock;

TEST(MutexTest, UnlockLetsAnotherThreadInAndAWaitEndsByNotificationOrDeadline) {
    CMutex mutex;
    CCondVar changed;
    bool ready = false;  // under mutex
    CMutexLock lock(mutex);

    // Another thread can take the mutex only while the lock has let it go.
    std::thread other([&] {
        CMutexLock inner(mutex);
        ready = true;
        changed.NotifyAll();
    });
    lock.Unlock();
    other.join();
    lock.Lock();
    EXPECT_TRUE(ready);

    // Notified before the deadline: true, the mutex held again.
    ready = false;
    std::thread notifier([&] {
        CMutexLock inner(mutex);
        ready = true;
        changed.NotifyAll();
    });
    while (!ready) {
        ASSERT_TRUE(changed.WaitUntil(mutex, Clock::now() + std::chrono::seconds(30)));
    }
    lock.Unlock();
    notifier.join();
    lock.Lock();

    // Nobody notifies: false once the deadline has passed (a spurious wake-up before it may say true).
    const auto deadline = Clock::now() + std::chrono::milliseconds(20);
    while (changed.WaitUntil(mutex, deadline)) {
        ASSERT_LT(Clock::now(), deadline);
    }
    EXPECT_GE(Clock::now(), deadline);
}
