// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Probes of the displays named in the environment, for the choice of Qt platform a start makes
// (run/Display.h). Each probe waits at most kDisplayAnswerSeconds. Any thread.

#include <string>

namespace platform {

enum class DisplayProbe {
    NotNamed,  // the variable is empty or unset
    Opens,     // a connection is made and answered
    Fails,     // refused, gone, or no Qt platform plugin for it
    Silent     // no answer within the time limit
};

// The time a display has to answer the connection before it counts as not there.
inline constexpr int kDisplayAnswerSeconds = 2;

// The display of DISPLAY (X11) and of WAYLAND_DISPLAY. qtPluginFolder is Qt's own plugin folder: a
// display whose Qt platform plugin is found neither there nor under QT_PLUGIN_PATH fails, since Qt
// would abort on it.
DisplayProbe ProbeX11Display(const std::string& qtPluginFolder);
DisplayProbe ProbeWaylandDisplay(const std::string& qtPluginFolder);
// The display named in the environment (DISPLAY, else WAYLAND_DISPLAY), for messages.
std::string NamedDisplay();

}  // namespace platform
