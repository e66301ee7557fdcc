// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A mutex, its scoped lock and a condition variable that clang's -Wthread-safety can follow: every
// GUARDED_BY member names a CMutex, and every touch of it must be inside a CMutexLock (or a function
// that REQUIRES the mutex). Header only and plain C++, so every layer may use it.

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "support/ThreadAnnotations.h"

class CAPABILITY("mutex") CMutex {
  public:
    CMutex() = default;
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    void Lock() ACQUIRE() { m_mutex.lock(); }
    void Unlock() RELEASE() { m_mutex.unlock(); }
    // Where the analysis cannot follow a lock (a callback run under it): says the caller holds it.
    void AssertHeld() ASSERT_CAPABILITY(this) {}

  private:
    friend class CCondVar;
    std::mutex m_mutex;
};

// Holds mutex from construction to destruction; Unlock and Lock let it go for a while in between.
class SCOPED_CAPABILITY CMutexLock {
  public:
    explicit CMutexLock(CMutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.Lock(); }
    ~CMutexLock() RELEASE() {
        if (m_bHeld) {
            m_mutex.Unlock();
        }
    }
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;

    void Unlock() RELEASE() {
        m_bHeld = false;
        m_mutex.Unlock();
    }
    void Lock() ACQUIRE() {
        m_mutex.Lock();
        m_bHeld = true;
    }

  private:
    CMutex& m_mutex;
    bool m_bHeld = true;
};

// A condition variable for CMutex. A waiter names the mutex it holds, so the analysis sees that the
// condition it tests afterwards is read under that mutex: while (!ready) cv.Wait(mutex);
class CCondVar {
  public:
    // Gives mutex up until notified (or woken spuriously), then takes it again.
    void Wait(CMutex& mutex) REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.m_mutex, std::adopt_lock);
        m_cv.wait(lock);
        lock.release();  // still held: the caller's lock gives it back
    }

    // As Wait, but false once deadline has passed.
    template <class Clock, class Duration>
    bool WaitUntil(CMutex& mutex, const std::chrono::time_point<Clock, Duration>& deadline) REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.m_mutex, std::adopt_lock);
        const bool notified = m_cv.wait_until(lock, deadline) == std::cv_status::no_timeout;
        lock.release();
        return notified;
    }

    void NotifyAll() { m_cv.notify_all(); }

  private:
    std::condition_variable m_cv;
};
