// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lock annotations: clang checks them with -Wthread-safety; on other compilers they vanish.
// Usage: std::vector<Item> m_items GUARDED_BY(m_mutex);

#if defined(__clang__)
#define TANDREL_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define TANDREL_THREAD_ATTRIBUTE(x)
#endif

// The member may be touched only while the named mutex is held.
#define GUARDED_BY(x) TANDREL_THREAD_ATTRIBUTE(guarded_by(x))
// The pointed-to data may be touched only while the named mutex is held.
#define PT_GUARDED_BY(x) TANDREL_THREAD_ATTRIBUTE(pt_guarded_by(x))
// The function must be called with the named mutex held.
#define REQUIRES(...) TANDREL_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
// The function must be called without the named mutex held (it takes it itself).
#define EXCLUDES(...) TANDREL_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
