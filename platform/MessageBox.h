// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one message box of the program: a QMessageBox owned by the main window on the desktop, a line
// on standard error in headless mode, or a test hook. Any thread: from a thread other than the
// user-interface thread the box is shown by that thread while the caller waits for the answer.

#include <functional>
#include <string>

class QWidget;

namespace platform {

// Box types (button and icon sets) and answers, with the values the design uses.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbOkCancel = 0x01;
inline constexpr unsigned kMbIconHand = 0x10;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Shows text and returns the button pressed. Headless: prints "tandrel: " + text and returns the default
// answer (OK). With a hook set, the hook answers instead, on the calling thread.
int MessageBox(const std::string& text, unsigned type);
// Writes "tandrel: " + text as one message on standard error, its control bytes defused: what an
// unattended run says so that a terminal, or cron's mail, shows it.
void PrintMessage(const std::string& text);

using MessageBoxHook = std::function<int(const std::string& text, unsigned type)>;
void SetMessageBoxHook(MessageBoxHook hook);  // an empty hook removes it
void SetMessageBoxOwner(QWidget* owner);

// Headless mode: no display, nothing waits for a person.
bool IsHeadless();
void SetHeadless(bool headless);

}  // namespace platform
