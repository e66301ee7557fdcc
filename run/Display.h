// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The display a start uses: the one named in the environment when it answers in time, else Qt's
// offscreen platform (headless mode, ui/MessageBox.h). Decided once, before the QApplication exists.

enum class DisplayNeed {
    None,    // work that ends without a window and shows no box: no display is even tried
    Either,  // a window or box when a display answers; the work goes on without one otherwise
    Window   // the main window, and nothing else to do
};

enum class DisplayState {
    Used,        // QT_QPA_PLATFORM is given, or a display named in the environment answers
    NotTried,    // DisplayNeed::None: headless without a look at the displays
    NoneNamed,   // neither DISPLAY nor WAYLAND_DISPLAY: headless
    CannotOpen,  // a display is named, none opens (refused, gone, or no Qt platform for it)
    NoAnswer     // a display is named, none opens and one of them kept silent past the time limit
};

// Tries each display named (DISPLAY, WAYLAND_DISPLAY) unless need is None, each for at most
// platform::kDisplayAnswerSeconds; selects the offscreen platform and headless mode when none is used,
// except for DisplayNeed::Window with a display named (the caller ends the program then).
DisplayState SelectQtPlatform(DisplayNeed need);
