#!/usr/bin/python3
# A stand-in for the desktop's notification service, for the tests: it owns
# org.freedesktop.Notifications on the session bus it is started on, answers as a desktop's service
# does (freedesktop.org's interface), and appends each notification it gets to a file, one JSON object a
# line.
# Usage: NotificationService.py NOTICES-FILE READY-FILE (made once the name is owned).
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

INTERFACE = "org.freedesktop.Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, notices):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.notices = notices
        self.last_id = 0

    @dbus.service.method(INTERFACE, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body", "body-markup"]

    @dbus.service.method(INTERFACE, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("stand-in", "Tessel tests", "1", "1.2")

    @dbus.service.method(INTERFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.last_id += 1
        notice = {"app": str(app), "icon": str(icon), "summary": str(summary), "body": str(body),
                  "actions": [str(action) for action in actions],
                  "hints": {str(key): str(value) for key, value in hints.items()}, "timeout": int(timeout)}
        with open(self.notices, "a", encoding="utf-8") as out:
            out.write(json.dumps(notice) + "\n")
        return self.last_id

    @dbus.service.method(INTERFACE, in_signature="u", out_signature="")
    def CloseNotification(self, notice_id):
        pass


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(INTERFACE, bus, do_not_queue=True)
    service = Notifications(bus, sys.argv[1])
    open(sys.argv[2], "w", encoding="utf-8").close()
    GLib.MainLoop().run()
    del name, service


if __name__ == "__main__":
    main()
