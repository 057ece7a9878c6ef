"""Drives a GNOME Shell session from inside it: the pointer and keyboard of
mutter's own seat (a remote desktop session tied to a screen cast of the
monitor) and pictures of the composed screen. Reads lines on standard input:
"move X Y", "down", "up", "click", "key CODE" (an evdev key code, pressed and
released), "shot PATH"; answers each with "ok" (or "error WHY"), and first
with "ready". Ends when standard input closes."""
import sys
import time

import dbus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BUTTON_LEFT = 0x110


def say(line):
    print(line, flush=True)


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    # The shell takes pictures only for callers of a name it trusts.
    bus.request_name("org.gnome.Screenshot")
    shell = bus.get_object("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot")
    shooter = dbus.Interface(shell, "org.gnome.Shell.Screenshot")

    remote = dbus.Interface(bus.get_object("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop"),
                            "org.gnome.Mutter.RemoteDesktop")
    rd_path = remote.CreateSession()
    rd_object = bus.get_object("org.gnome.Mutter.RemoteDesktop", rd_path)
    rd = dbus.Interface(rd_object, "org.gnome.Mutter.RemoteDesktop.Session")
    rd_id = rd_object.Get("org.gnome.Mutter.RemoteDesktop.Session", "SessionId",
                          dbus_interface="org.freedesktop.DBus.Properties")
    cast = dbus.Interface(bus.get_object("org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast"),
                          "org.gnome.Mutter.ScreenCast")
    cast_path = cast.CreateSession({"remote-desktop-session-id": rd_id})
    cast_session = dbus.Interface(bus.get_object("org.gnome.Mutter.ScreenCast", cast_path),
                                  "org.gnome.Mutter.ScreenCast.Session")
    stream = cast_session.RecordMonitor("", {})
    loop = GLib.MainLoop()
    added = []
    bus.add_signal_receiver(lambda node: (added.append(node), loop.quit()), "PipeWireStreamAdded",
                            "org.gnome.Mutter.ScreenCast.Stream", path=stream)
    rd.Start()
    GLib.timeout_add(10000, loop.quit)
    loop.run()
    if not added:
        say("error the screen cast stream never started")
        return 1
    # mutter drops the first key of a new virtual keyboard: spend it on Shift.
    rd.NotifyKeyboardKeycode(42, True)
    rd.NotifyKeyboardKeycode(42, False)
    say("ready")
    for line in sys.stdin:
        words = line.split()
        try:
            if words[0] == "move":
                rd.NotifyPointerMotionAbsolute(stream, float(words[1]), float(words[2]))
            elif words[0] in ("down", "up", "click"):
                if words[0] != "up":
                    rd.NotifyPointerButton(BUTTON_LEFT, True)
                if words[0] != "down":
                    rd.NotifyPointerButton(BUTTON_LEFT, False)
            elif words[0] == "key":
                rd.NotifyKeyboardKeycode(int(words[1]), True)
                rd.NotifyKeyboardKeycode(int(words[1]), False)
            elif words[0] == "shot":
                ok, _ = shooter.Screenshot(False, False, words[1])
                if not ok:
                    raise RuntimeError("the shell took no picture")
            # Input goes through the compositor's loop: a round trip to it
            # lets the events land before the answer.
            bus.get_object("org.gnome.Shell", "/org/gnome/Shell").Get(
                "org.gnome.Shell", "Mode", dbus_interface="org.freedesktop.DBus.Properties")
            say("ok")
        except (dbus.DBusException, RuntimeError, IndexError, ValueError) as e:
            say(f"error {e}")
    rd.Stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
