// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lock annotations: clang checks them with -Wthread-safety; on other compilers they vanish. They work
// only on an annotated mutex (CMutex in support/Mutex.h): libstdc++'s std::mutex carries none.
// Usage: std::vector<Item> m_items GUARDED_BY(m_mutex);

#if defined(__clang__)
#define TANDREL_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define TANDREL_THREAD_ATTRIBUTE(x)
#endif

// The class is a lock (a "capability") the analysis tracks.
#define CAPABILITY(x) TANDREL_THREAD_ATTRIBUTE(capability(x))
// The class holds a lock for the scope of its object.
#define SCOPED_CAPABILITY TANDREL_THREAD_ATTRIBUTE(scoped_lockable)
// The member may be touched only while the named mutex is held.
#define GUARDED_BY(x) TANDREL_THREAD_ATTRIBUTE(guarded_by(x))
// The function must be called with the named mutex held.
#define REQUIRES(...) TANDREL_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
// The function must be called without the named mutex held (it takes it itself).
#define EXCLUDES(...) TANDREL_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
// The function takes the named mutex (or, on a scoped lock, its own) and returns holding it.
#define ACQUIRE(...) TANDREL_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
// The function gives the named mutex (or, on a scoped lock, its own) back.
#define RELEASE(...) TANDREL_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
// From the call on, the analysis takes the named mutex as held.
#define ASSERT_CAPABILITY(x) TANDREL_THREAD_ATTRIBUTE(assert_capability(x))
