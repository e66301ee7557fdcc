#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# notices.py LOG: a desktop notification service on the session bus of DBUS_SESSION_BUS_ADDRESS that
# writes each notification it receives to LOG as "summary<TAB>body" (new lines in the body as "|").
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Notices(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log = log
        self.count = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.count += 1
        with open(self.log, "a", encoding="utf-8") as out:
            out.write(f"{summary}\t{body.replace(chr(10), '|')}\n")
        return self.count

    @dbus.service.method(NAME, out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NAME, out_signature="ssss")
    def GetServerInformation(self):
        return ["test notices", "tandrel tests", "1", "1.2"]


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName(NAME, bus)
service = Notices(bus, sys.argv[1])
open(sys.argv[1] + ".ready", "w").close()
GLib.MainLoop().run()
