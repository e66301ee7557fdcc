#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# notices.py LOG: a notification service on the session bus that writes each notification to LOG as
# "summary<TAB>body" (the body's new lines as "|"); LOG.ready once it owns its name.
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


class Notices(dbus.service.Object):
    @dbus.service.method("org.freedesktop.Notifications", in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        with open(sys.argv[1], "a", encoding="utf-8") as out:
            out.write(f"{summary}\t{body.replace(chr(10), '|')}\n")
        return 1


DBusGMainLoop(set_as_default=True)
name = dbus.service.BusName("org.freedesktop.Notifications", dbus.SessionBus())
service = Notices(name, "/org/freedesktop/Notifications")
open(sys.argv[1] + ".ready", "w").close()
GLib.MainLoop().run()
