// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/Display.h"

#include <QLibraryInfo>

#include "platform/Display.h"
#include "platform/FileSystem.h"
#include "ui/MessageBox.h"

DisplayState SelectQtPlatform(DisplayNeed need) {
    using platform::DisplayProbe;
    SetHeadless(false);
    // Qt asks for a runtime folder on start and, without XDG_RUNTIME_DIR (cron), makes one under a
    // predictable name in /tmp that another user can take first, and says so. The private state folder
    // stands in.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && platform::MakeStateFolder()) {
        const std::string folder = platform::StateFolder();
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(folder.substr(0, folder.size() - 1)));
    }
    // A platform named by the caller (tests drive offscreen windows) is a desktop as far as we know.
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        return DisplayState::Used;
    }
    DisplayState state = DisplayState::NotTried;
    if (need != DisplayNeed::None) {
        const std::string plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString();
        const DisplayProbe x11 = platform::ProbeX11Display(plugins);
        const DisplayProbe wayland = platform::ProbeWaylandDisplay(plugins);
        if (x11 == DisplayProbe::Opens || wayland == DisplayProbe::Opens) {
            if (x11 != wayland) {
                // Qt might try the one that is gone first and abort there.
                qputenv("QT_QPA_PLATFORM", x11 == DisplayProbe::Opens ? "xcb" : "wayland");
            }
            return DisplayState::Used;
        }
        if (x11 == DisplayProbe::Silent || wayland == DisplayProbe::Silent) {
            state = DisplayState::NoAnswer;
        } else {
            state = x11 == DisplayProbe::NotNamed && wayland == DisplayProbe::NotNamed
                        ? DisplayState::NoneNamed
                        : DisplayState::CannotOpen;
        }
        if (need == DisplayNeed::Window && state != DisplayState::NoneNamed) {
            return state;
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    SetHeadless(true);
    return state;
}
