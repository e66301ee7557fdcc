// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Display.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "support/Mutex.h"

namespace platform {

namespace {

using Probe = DisplayProbe;

constexpr int kAnswerMs = kDisplayAnswerSeconds * 1000;

bool HasText(const char* name) {
    const char* value = getenv(name);
    return value && *value;
}

// Qt aborts on a platform whose plugin it cannot find (a Wayland session without Qt's Wayland
// plugin): such a display is as good as none. Looks where Qt looks: QT_PLUGIN_PATH, then its own folder.
bool QtPlatformPluginExists(const char* prefix, const std::string& qtPluginFolder) {
    std::string folders = HasText("QT_PLUGIN_PATH") ? std::string(getenv("QT_PLUGIN_PATH")) + ":" : "";
    folders += qtPluginFolder;
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start) + "/platforms";
        start = end + 1;
        DIR* dir = opendir(folder.c_str());
        if (!dir) {
            continue;
        }
        bool found = false;
        while (const dirent* entry = readdir(dir)) {
            found = found || strncmp(entry->d_name, prefix, strlen(prefix)) == 0;
        }
        closedir(dir);
        if (found) {
            return true;
        }
    }
    return false;
}

// Opens and closes a connection as Qt's xcb platform does, authentication included: a socket that
// answers can still refuse a client without the cookie (cron with DISPLAY=:0), and Qt aborts on both.
// libxcb is what that platform loads anyway; without it the platform cannot open the display either.
bool X11DisplayOpens() {
    void* library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        return false;
    }
    auto connect = reinterpret_cast<void* (*)(const char*, int*)>(dlsym(library, "xcb_connect"));
    auto hasError = reinterpret_cast<int (*)(void*)>(dlsym(library, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<void (*)(void*)>(dlsym(library, "xcb_disconnect"));
    bool opens = false;
    if (connect && hasError && disconnect) {
        void* connection = connect(nullptr, nullptr);  // never null: a failed one carries its error
        opens = hasError(connection) == 0;
        disconnect(connection);
    }
    dlclose(library);
    return opens;
}

// libxcb offers no time limit: the connection is tried on a thread of its own, which a frozen server
// (or a dead ssh forward) leaves waiting while the program goes on without it.
Probe X11Probe(const std::string& qtPluginFolder) {
    if (!QtPlatformPluginExists("libqxcb", qtPluginFolder)) {
        return Probe::Fails;
    }
    struct Answer {
        CMutex mutex;
        CCondVar done;
        bool answered GUARDED_BY(mutex) = false;
        bool opens GUARDED_BY(mutex) = false;
    };
    auto answer = std::make_shared<Answer>();
    std::thread([answer] {
        const bool opens = X11DisplayOpens();
        CMutexLock lock(answer->mutex);
        answer->answered = true;
        answer->opens = opens;
        answer->done.NotifyAll();
    }).detach();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
    CMutexLock lock(answer->mutex);
    while (!answer->answered) {
        if (!answer->done.WaitUntil(answer->mutex, deadline) && !answer->answered) {
            return Probe::Silent;
        }
    }
    return answer->opens ? Probe::Opens : Probe::Fails;
}

// Waits for events on fd for the time limit; false on silence or an error.
bool Ready(int fd, short events) {
    pollfd entry{fd, events, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int rc = poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (rc >= 0 || errno != EINTR) {
            return rc > 0 && (entry.revents & events);
        }
    }
}

// A compositor that takes the connection may still never answer: the probe asks for a round trip
// (wl_display.sync, object 1 opcode 0, new callback id 2) and waits for any reply.
Probe WaylandProbe(const std::string& qtPluginFolder) {
    if (!QtPlatformPluginExists("libqwayland", qtPluginFolder)) {
        return Probe::Fails;
    }
    std::string path = getenv("WAYLAND_DISPLAY");
    if (path[0] != '/') {
        if (!HasText("XDG_RUNTIME_DIR")) {
            return Probe::Fails;
        }
        path = std::string(getenv("XDG_RUNTIME_DIR")) + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return Probe::Fails;
    }
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return Probe::Fails;
    }
    Probe probe = Probe::Fails;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        ((errno == EAGAIN || errno == EINPROGRESS) && Ready(fd, POLLOUT))) {
        const uint32_t sync[3] = {1, (12u << 16) | 0u, 2};
        if (send(fd, sync, sizeof sync, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof sync)) {
            char reply[64];
            probe = !Ready(fd, POLLIN) ? Probe::Silent
                                       : (recv(fd, reply, sizeof reply, 0) > 0 ? Probe::Opens : Probe::Fails);
        }
    } else if (errno == EAGAIN || errno == EINPROGRESS) {
        probe = Probe::Silent;
    }
    close(fd);
    return probe;
}

}  // namespace

DisplayProbe ProbeX11Display(const std::string& qtPluginFolder) {
    return HasText("DISPLAY") ? X11Probe(qtPluginFolder) : Probe::NotNamed;
}

DisplayProbe ProbeWaylandDisplay(const std::string& qtPluginFolder) {
    return HasText("WAYLAND_DISPLAY") ? WaylandProbe(qtPluginFolder) : Probe::NotNamed;
}

std::string NamedDisplay() {
    const char* name = HasText("DISPLAY") ? getenv("DISPLAY") : getenv("WAYLAND_DISPLAY");
    return name ? name : "";
}

}  // namespace platform
