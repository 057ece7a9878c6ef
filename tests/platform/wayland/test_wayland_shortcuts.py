"""The HotKeys shortcuts on Wayland, where no client may grab keys: bound
through the desktop's GlobalShortcuts portal (a stand-in on a private session
bus), a press the portal reports does what the keypad key does."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pytest

from test_wayland_overlay import HEIGHT, WIDTH, Client, session, wait_for_picture  # noqa: F401 (a fixture)

PORTAL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake_portal.py")


def test_shortcut_through_portal_switches_drawing(session):
    start, env, runtime = session
    if not shutil.which("dbus-daemon"):
        pytest.skip("not installed: dbus-daemon (scripts/packages/wayland.txt)")
    start("window").wait_for("window ")
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"], stdout=subprocess.PIPE,
                           text=True)
    home = tempfile.mkdtemp(prefix="korivan-home-")
    program = None
    try:
        bus_env = dict(env, DBUS_SESSION_BUS_ADDRESS=bus.stdout.readline().strip())
        portal = Client([sys.executable, PORTAL], bus_env)
        portal.wait_for("ready")
        folder = os.path.join(home, ".local/share/ORVEL PROJECT/KORIVAN DSK")
        os.makedirs(folder)
        with open(os.path.join(folder, "Setup.ini"), "w") as f:
            f.write("[HotKeys]\nToggle=Ctrl+Alt+D\nNextPen=Num+/\nSave=Ctrl+Alt+Nonsense\n")
        os.mkdir(os.path.join(home, "run"), 0o700)
        program_env = dict(bus_env, HOME=home, XDG_RUNTIME_DIR=os.path.join(home, "run"),
                           XDG_CONFIG_HOME=os.path.join(home, ".config"), KORIVAN_BACKEND="wayland",
                           WAYLAND_DISPLAY=os.path.join(runtime, env["WAYLAND_DISPLAY"]))

        def run():
            return subprocess.Popen([os.environ["KORIVAN_PROGRAM"]], env=program_env, stderr=subprocess.PIPE,
                                    text=True)

        program = run()
        # Each shortcut with the key the settings name, as the portal spells it.
        assert portal.wait_for("bind Toggle") == "bind Toggle CTRL+ALT+d"
        assert portal.wait_for("bind NextPen") == "bind NextPen KP_Divide"
        column = [(x, y) for x in range(WIDTH - 60, WIDTH, 4) for y in range(0, HEIGHT, 4)]
        picture = wait_for_picture(env, runtime, lambda p: sum(p.getpixel(xy) != (0, 192, 0) for xy in column)
                                   > len(column) // 4, "no column seen", program)
        corner = (WIDTH - 80, 0, WIDTH, 30)  # an arrow while drawing is off, a pen while on
        off = picture.crop(corner).tobytes()
        portal.send("activate Toggle")
        on = wait_for_picture(env, runtime, lambda p: p.crop(corner).tobytes() != off,
                              "the shortcut did not switch drawing on", program).crop(corner).tobytes()
        # One activation, one command: the next switches it off again.
        portal.send("activate Toggle")
        wait_for_picture(env, runtime, lambda p: p.crop(corner).tobytes() == off, "drawing stayed on", program)
        assert on != off
        program.terminate()
        assert program.wait(timeout=20) == 0
        assert "Save=Ctrl+Alt+Nonsense is not a key sequence" in program.stderr.read()

        # With no portal on the bus: one line saying so, and the program runs on.
        portal.close()
        program = run()
        wait_for_picture(env, runtime, lambda p: sum(p.getpixel(xy) != (0, 192, 0) for xy in column)
                         > len(column) // 4, "no column seen", program)
        program.terminate()
        assert program.wait(timeout=20) == 0
        said = [l for l in program.stderr.read().splitlines() if "HotKeys shortcuts are left out" in l]
        assert len(said) == 1 and "no GlobalShortcuts portal" in said[0] and "--toggle" in said[0], said
    finally:
        if program and program.poll() is None:
            program.kill()
            print(program.communicate()[1][-2000:])
        bus.terminate()
        bus.wait(timeout=10)
        shutil.rmtree(home, ignore_errors=True)
