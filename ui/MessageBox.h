// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one message box of the program: a QMessageBox owned by the main window on the desktop, a line
// on standard error in headless mode, or a test hook. Any thread: from a thread other than the
// user-interface thread the box is shown by that thread while the caller waits for the answer.

#include <functional>
#include <string>

#include "engine/RunHost.h"

class QWidget;

// Shows text (a box type of engine/RunHost.h) and returns the button pressed. Headless: prints
// "tandrel: " + text (platform::PrintMessage) and returns the default answer (OK). With a hook set, the
// hook answers instead, on the calling thread.
int MessageBox(const std::string& text, unsigned type);

using MessageBoxHook = std::function<int(const std::string& text, unsigned type)>;
void SetMessageBoxHook(MessageBoxHook hook);  // an empty hook removes it
void SetMessageBoxOwner(QWidget* owner);

// Headless mode: no display, nothing waits for a person.
bool IsHeadless();
void SetHeadless(bool headless);
