"""A notification server for tests, on whatever session bus it is started in.

Owns org.freedesktop.Notifications and appends each Notify call to the
output file as one JSON line (app name, summary, body). Once the name is
owned, it writes the bus address to the ready file, so that the test can
talk to the same bus. Runs until the stop file appears (or the lifetime is
up): dbus-run-session ends with it and takes its bus along, whereas a
signal to dbus-run-session would leave both behind.
"""
import argparse
import json
import os
import signal

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


class Server(dbus.service.Object):
    def __init__(self, bus, out):
        super().__init__(bus, PATH)
        self.out = out
        self.next_id = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, icon, summary, body, actions, hints, timeout):
        self.next_id += 1
        urgency = int(hints["urgency"]) if "urgency" in hints else None
        line = json.dumps({"app": str(app_name), "summary": str(summary), "body": str(body),
                           "urgency": urgency, "timeout": int(timeout)})
        with open(self.out, "a", encoding="utf-8") as f:
            f.write(line + "\n")
        return dbus.UInt32(self.next_id)

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("test-recorder", "quillory", "1", "1.2")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--stop", required=True)
    parser.add_argument("--lifetime", type=int, default=120, help="seconds")
    args = parser.parse_args()
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    server = Server(bus, args.out)
    loop = GLib.MainLoop()
    signal.signal(signal.SIGTERM, lambda *a: loop.quit())

    def check_stop():
        if os.path.exists(args.stop):
            loop.quit()
        return True

    GLib.timeout_add(50, check_stop)
    GLib.timeout_add_seconds(args.lifetime, loop.quit)
    tmp = args.ready + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(os.environ["DBUS_SESSION_BUS_ADDRESS"])
    os.rename(tmp, args.ready)
    loop.run()
    del name, server


if __name__ == "__main__":
    main()
