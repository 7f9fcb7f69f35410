#!/usr/bin/python3
"""A desktop notification service for tests: owns org.freedesktop.Notifications
on the session bus, appends every Notify call to a JSON-lines file, and lets
the test invoke a notification's action (org.talvora.FakeNotifications.Invoke),
which emits ActionInvoked as a real service does when the user clicks.

    fake_notifications.py RECORD_FILE

Prints "ready" once the name is owned. Needs Debian's python3-dbus and
python3-gi (run with /usr/bin/python3)."""

import json
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"
TEST_INTERFACE = "org.talvora.FakeNotifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, PATH)
        self.record = record
        self.last_id = 0

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("fake", "Talvora tests", "1", "1.2")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout):
        self.last_id += 1
        entry = {"id": self.last_id, "time": time.time(), "app_name": str(app_name),
                 "replaces_id": int(replaces_id), "app_icon": str(app_icon), "summary": str(summary),
                 "body": str(body), "actions": [str(action) for action in actions],
                 "expire_timeout": int(expire_timeout)}
        with open(self.record, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry, ensure_ascii=False) + "\n")
        return self.last_id

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, notification_id):
        self.NotificationClosed(notification_id, 3)

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, notification_id, action_key):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, notification_id, reason):
        pass

    @dbus.service.method(TEST_INTERFACE, in_signature="us", out_signature="")
    def Invoke(self, notification_id, action_key):
        self.ActionInvoked(notification_id, action_key)


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    service = Notifications(bus, sys.argv[1])
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, service


if __name__ == "__main__":
    main()
