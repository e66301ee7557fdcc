// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the directory tree's items come from: the mounted volumes, the desktop folder, and a way to run
// a listing that may hang (a dead network mount) under a time limit. User-interface thread, except the
// jobs handed to RunWithTimeLimit, which run on a helper thread.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <QString>

#include "support/Mutex.h"

// Runs job on a helper thread and waits at most limit for it. A job that overruns is abandoned: it
// finishes in the background and only ever touches its own shared state, never the tree.
template <typename T>
bool RunWithTimeLimit(std::function<T()> job, std::chrono::milliseconds limit, T& result) {
    struct Shared {
        CMutex mutex;
        CCondVar done;
        bool finished GUARDED_BY(mutex) = false;
        T value GUARDED_BY(mutex);
    };
    auto shared = std::make_shared<Shared>();
    try {
        std::thread([shared, work = std::move(job)]() {
            T value = work();
            CMutexLock lock(shared->mutex);
            shared->value = std::move(value);
            shared->finished = true;
            shared->done.NotifyAll();
        }).detach();
    } catch (const std::system_error&) {
        return false;  // no thread to be had: list nothing rather than risk blocking the window
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    CMutexLock lock(shared->mutex);
    while (!shared->finished) {
        if (!shared->done.WaitUntil(shared->mutex, deadline) && !shared->finished) {
            return false;
        }
    }
    result = std::move(shared->value);
    return true;
}

struct Volume {
    std::string root;  // mount point with trailing "/"
    QString label;
};

// The mounted volumes that hold files, "/" first and each mount point once. statfs on a dead network
// mount can hang: call it under a time limit.
std::vector<Volume> ReadVolumes();

// The desktop folder without a trailing "/": the desktop location, else home, with links resolved.
std::string DesktopFolder();
