// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

bool SendDesktopNotice(const QString& summary, const QString& body) {
    // Only a bus that is already there: without an address the bus library would launch a bus of its own
    // for this one message.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo::exists(QString::fromLocal8Bit(runtime) + QStringLiteral("/bus")))) {
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Application, id to replace (none), icon, summary, body, actions, hints, time-out (the server's).
    call << QStringLiteral("Tandrel") << 0u << QStringLiteral("tandrel") << summary << body << QStringList()
         << QVariantMap() << -1;
    return bus.send(call);
}
