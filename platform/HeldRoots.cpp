// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/HeldRoots.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include "platform/PosixUtil.h"
#include "support/Mutex.h"

namespace platform {

using detail::CFd;
using detail::Fail;
using detail::RetryEintr;

namespace {

// The roots held for the run (CHeldRoots), by their path without trailing "/".
CMutex g_heldMutex;
std::vector<std::pair<std::string, int>> g_held GUARDED_BY(g_heldMutex);

std::string RootKey(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

CHeldRoots::~CHeldRoots() {
    CMutexLock lock(g_heldMutex);
    for (const auto& [path, fd] : g_held) {
        close(fd);
    }
    g_held.clear();
}

bool CHeldRoots::Hold(const std::vector<std::string>& roots, std::string& failed) {
    std::vector<std::pair<std::string, int>> held;
    const auto release = [&held] {
        for (const auto& [path, fd] : held) {
            close(fd);
        }
    };
    CFd top(RetryEintr([] { return open("/", detail::kHandleFlags); }));
    for (const std::string& root : roots) {
        std::string key = RootKey(root);
        // From "/" down, no step through a link: the folder that stands at the judged path now.
        int fd = -1;
        if (key.empty() || key[0] != '/') {
            errno = EINVAL;
        } else if (top.Valid()) {
            fd = key == "/" ? RetryEintr([] { return open("/", detail::kHandleFlags); })
                            : detail::OpenBeneath(top.Get(), std::string_view(key).substr(1), false);
        }
        if (fd < 0) {
            Fail();
            release();
            failed = root;
            return false;
        }
        held.emplace_back(std::move(key), fd);
    }
    CMutexLock lock(g_heldMutex);
    for (auto& entry : held) {
        g_held.push_back(std::move(entry));
    }
    return true;
}

namespace detail {

int OpenFolderPath(const std::string& path, int flags) {
    {
        CMutexLock lock(g_heldMutex);
        const std::string key = RootKey(path);
        for (const auto& [root, fd] : g_held) {
            if (root == key) {
                const int held = fd;
                return RetryEintr([&] { return openat(held, ".", flags); });
            }
        }
    }
    return RetryEintr([&] { return open(path.c_str(), flags); });
}

}  // namespace detail

}  // namespace platform
