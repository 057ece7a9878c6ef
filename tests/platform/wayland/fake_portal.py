"""A stand-in for the desktop's GlobalShortcuts portal on a private session
bus: prints "ready", then "bind ID TRIGGER" for each shortcut bound; a line
"activate ID" on standard input sends that shortcut's Activated signal."""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PATH = "/org/freedesktop/portal/desktop"
IFACE = "org.freedesktop.portal.GlobalShortcuts"


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


class Session(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Session")
    def Close(self):
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.bus, self.session = bus, None

    def answer(self, sender, token, results):
        """A request object whose Response follows the method's return."""
        path = f"{PATH}/request/{sender[1:].replace('.', '_')}/{token}"
        request = Request(self.bus, path)
        GLib.idle_add(lambda: request.Response(dbus.UInt32(0), dbus.Dictionary(results, signature="sv")) and False)
        return dbus.ObjectPath(path)

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == IFACE and name == "version":
            return dbus.UInt32(1)
        raise dbus.exceptions.DBusException("no such property", name="org.freedesktop.DBus.Error.UnknownProperty")

    @dbus.service.method(IFACE, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender):
        self.session = f"{PATH}/session/{sender[1:].replace('.', '_')}/{options['session_handle_token']}"
        Session(self.bus, self.session)
        return self.answer(sender, options["handle_token"], {"session_handle": self.session})

    @dbus.service.method(IFACE, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender):
        for shortcut_id, properties in shortcuts:
            print("bind", shortcut_id, properties.get("preferred_trigger", "-"), flush=True)
        return self.answer(sender, options["handle_token"], {})

    @dbus.service.signal(IFACE, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)  # noqa: F841 (held while running)
    portal = Portal(bus)
    loop = GLib.MainLoop()

    def line(source, condition):
        text = sys.stdin.readline()
        if not text:
            loop.quit()
            return False
        command, _, shortcut_id = text.strip().partition(" ")
        if command == "activate" and portal.session:
            portal.Activated(dbus.ObjectPath(portal.session), shortcut_id, dbus.UInt64(0),
                             dbus.Dictionary({}, signature="sv"))
            print("activated", shortcut_id, flush=True)
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, line)
    print("ready", flush=True)
    loop.run()


if __name__ == "__main__":
    main()
