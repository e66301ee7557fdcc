// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A desktop notification: a short message in the desktop's own notification area, for the end of a run
// that nobody watched. User-interface thread.

#include <QString>

// Hands summary and body to the session bus's notification service (org.freedesktop.Notifications)
// without waiting for an answer. False, and nothing shown, when there is no session bus; a bus without
// the service drops the message.
bool SendDesktopNotice(const QString& summary, const QString& body);
