// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MessageBox.h"

#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPointer>
#include <QShortcut>
#include <QThread>

#include "support/Mutex.h"

namespace platform {

namespace {

CMutex g_mutex;
MessageBoxHook g_hook GUARDED_BY(g_mutex);
QPointer<QWidget> g_owner;  // user-interface thread only
bool g_headless = false;

bool HasText(const char* name) {
    const char* value = getenv(name);
    return value && *value;
}

// The text for a terminal: control bytes (from file names in a message) other than line breaks and tabs
// would be obeyed by the terminal, so they are shown as "?".
std::string ForTerminal(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7f) {
            c = '?';
        }
    }
    return text;
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

// A compositor takes every client that reaches its socket: WAYLAND_DISPLAY, a path or a name below
// XDG_RUNTIME_DIR.
bool WaylandDisplayOpens() {
    std::string path = getenv("WAYLAND_DISPLAY");
    if (path[0] != '/') {
        if (!HasText("XDG_RUNTIME_DIR")) {
            return false;
        }
        path = std::string(getenv("XDG_RUNTIME_DIR")) + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    int rc;
    do {
        rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    close(fd);
    return rc == 0;
}

int ShowOnUiThread(const std::string& text, unsigned type) {
    QMessageBox box(g_owner.data());
    box.setWindowTitle(QStringLiteral("tandrel"));
    // Messages carry file names: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
    box.setIcon((type & 0xF0) == kMbIconHand ? QMessageBox::Critical : QMessageBox::NoIcon);
    if ((type & 0x0F) == kMbOkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.setDefaultButton(QMessageBox::Ok);
    // Ctrl+C copies the whole box, as users of the old program could, to paste a message into a report.
    auto* copy = new QShortcut(QKeySequence::Copy, &box);
    QObject::connect(copy, &QShortcut::activated, &box, [&box] {
        const QString rule = QStringLiteral("---------------------------\n");
        QString buttons;
        for (const QAbstractButton* button : box.buttons()) {
            buttons += button->text().remove(u'&') + QStringLiteral("   ");
        }
        QGuiApplication::clipboard()->setText(rule + box.windowTitle() + u'\n' + rule + box.text() + u'\n' +
                                              rule + buttons + u'\n' + rule);
    });
    return box.exec() == QMessageBox::Ok ? kIdOk : kIdCancel;
}

}  // namespace

int MessageBox(const std::string& text, unsigned type) {
    MessageBoxHook hook;
    {
        CMutexLock lock(g_mutex);
        hook = g_hook;
    }
    if (hook) {
        return hook(text, type);
    }
    if (g_headless || !qApp) {
        PrintMessage(text);
        return kIdOk;
    }
    if (QThread::currentThread() == qApp->thread()) {
        return ShowOnUiThread(text, type);
    }
    // The box belongs to the user-interface thread; the calling thread waits for the answer there.
    int answer = kIdOk;
    QMetaObject::invokeMethod(
        qApp, [&] { answer = ShowOnUiThread(text, type); }, Qt::BlockingQueuedConnection);
    return answer;
}

void PrintMessage(const std::string& text) {
    fprintf(stderr, "tandrel: %s\n", ForTerminal(text).c_str());
    fflush(stderr);
}

void SetMessageBoxHook(MessageBoxHook hook) {
    CMutexLock lock(g_mutex);
    g_hook = std::move(hook);
}

void SetMessageBoxOwner(QWidget* owner) {
    g_owner = owner;
}

bool IsHeadless() {
    return g_headless;
}

void SetHeadless(bool headless) {
    g_headless = headless;
}

DisplayState SelectQtPlatform(bool windowless) {
    g_headless = false;
    // A platform named by the caller (tests drive offscreen windows) is a desktop as far as we know.
    if (HasText("QT_QPA_PLATFORM")) {
        return DisplayState::Used;
    }
    const bool x11Named = HasText("DISPLAY");
    const bool waylandNamed = HasText("WAYLAND_DISPLAY");
    DisplayState state = DisplayState::NoneNamed;
    if (x11Named || waylandNamed) {
        const bool x11 = x11Named && X11DisplayOpens();
        const bool wayland = waylandNamed && WaylandDisplayOpens();
        if (x11 || wayland) {
            if (x11Named && waylandNamed && x11 != wayland) {
                // Qt might try the one that is gone first and abort there.
                setenv("QT_QPA_PLATFORM", x11 ? "xcb" : "wayland", 1);
            }
            return DisplayState::Used;
        }
        state = DisplayState::CannotOpen;
        if (!windowless) {
            return state;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    g_headless = true;
    return state;
}

std::string NamedDisplay() {
    const char* name = HasText("DISPLAY") ? getenv("DISPLAY") : getenv("WAYLAND_DISPLAY");
    return name ? name : "";
}

}  // namespace platform
