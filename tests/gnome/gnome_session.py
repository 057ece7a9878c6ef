"""A headless GNOME Shell of the test's own, run by an unprivileged user:
private session and system buses, PipeWire (mutter's remote desktop needs
it), settings in a key file with banners, the lock and animations off. Input
goes through mutter's own seat and pictures come from the shell itself, both
by gnome_driver.py, so that what is checked is what mutter routes and draws."""
import glob
import os
import pwd
import queue
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import pytest
from PIL import Image

WIDTH, HEIGHT = 1920, 1080
HERE = os.path.dirname(os.path.abspath(__file__))
KEYFILE = """[org/gnome/desktop/notifications]
show-banners=false
[org/gnome/desktop/interface]
enable-animations=false
[org/gnome/desktop/screensaver]
lock-enabled=false
[org/gnome/desktop/lockdown]
disable-lock-screen=true
[org/gnome/desktop/session]
idle-delay=uint32 0
[org/gnome/shell]
welcome-dialog-last-shown-version='999'
"""
ESCAPE = 1  # evdev key codes


class Client:
    """A helper program that ends when its standard input closes, its output
    lines read as they come."""

    def __init__(self, command, env, log=None):
        self.proc = subprocess.Popen(command, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=log, text=True)
        self.lines, self.seen = queue.Queue(), []
        threading.Thread(target=lambda: [self.lines.put(l.strip()) for l in self.proc.stdout],
                         daemon=True).start()

    def wait_for(self, prefix, timeout=15):
        deadline = time.monotonic() + timeout
        while True:
            match = next((l for l in self.seen if l.startswith(prefix)), None)
            if match:
                return match
            try:
                self.seen.append(self.lines.get(timeout=max(0.01, deadline - time.monotonic())))
            except queue.Empty:
                raise AssertionError(f"no '{prefix}' within {timeout} s; saw {self.seen}")

    def all(self):
        while not self.lines.empty():
            self.seen.append(self.lines.get())
        return self.seen

    def send(self, line):
        """A line for the driver, and its answer."""
        self.seen.clear()
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        answer = self.wait_for("", timeout=30)
        assert answer == "ok", f"{line}: {answer}"

    def close(self):
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        try:
            self.proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


class GnomeSession:
    def __init__(self):
        self.procs, self.clients = [], []
        self.runtime = tempfile.mkdtemp(prefix="korivan-gnome-")
        self.user = pwd.getpwnam("nobody") if os.getuid() == 0 else None
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("WAYLAND_DISPLAY", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XAUTHORITY",
                                 "QT_QPA_PLATFORM", "KORIVAN_BACKEND")}
        self.env.update(HOME=self.runtime, XDG_RUNTIME_DIR=self.runtime,
                        XDG_CONFIG_HOME=os.path.join(self.runtime, ".config"),
                        XDG_DATA_HOME=os.path.join(self.runtime, ".local/share"),
                        XDG_CACHE_HOME=os.path.join(self.runtime, ".cache"),
                        GSETTINGS_BACKEND="keyfile", XDG_CURRENT_DESKTOP="GNOME", XDG_SESSION_TYPE="wayland",
                        DBUS_SYSTEM_BUS_ADDRESS=f"unix:path={self.runtime}/system_bus",
                        DBUS_SESSION_BUS_ADDRESS=f"unix:path={self.runtime}/bus", NO_AT_BRIDGE="1")
        self.log = open(os.path.join(self.runtime, "session.log"), "w+")

    def as_user(self, command):
        if not self.user:
            return command
        return ["setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}", "--clear-groups",
                "--"] + command

    def own(self, path):
        """Hands a file or folder made here to the session's user."""
        if self.user:
            os.chown(path, self.user.pw_uid, self.user.pw_gid)

    def spawn(self, command, env=None):
        proc = subprocess.Popen(self.as_user(command), env=env or self.env, stdout=self.log,
                                stderr=subprocess.STDOUT)
        self.procs.append(proc)
        return proc

    def start(self):
        missing = [p for p in ("gnome-shell", "pipewire", "wireplumber", "Xwayland", "dbus-daemon")
                   if not shutil.which(p)]
        if missing:
            pytest.skip(f"not installed: {' '.join(missing)} (scripts/packages/gnome.txt)")
        # Xwayland's sockets: mutter insists on the folder every user may write.
        x11 = "/tmp/.X11-unix"
        if os.path.isdir(x11) and os.stat(x11).st_mode & 0o1777 != 0o1777:
            if os.getuid() != 0:
                pytest.skip(f"{x11} is not writable for every user, as mutter needs")
            os.chmod(x11, 0o1777)
        os.chmod(self.runtime, 0o700)
        config = os.path.join(self.runtime, ".config/glib-2.0/settings")
        os.makedirs(config)
        with open(os.path.join(config, "keyfile"), "w") as f:
            f.write(KEYFILE)
        for root, dirs, files in os.walk(self.runtime):
            for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                self.own(name)
        for bus in ("system_bus", "bus"):
            self.spawn(["dbus-daemon", "--session", f"--address=unix:path={self.runtime}/{bus}", "--nofork"])
        self.wait_for_file("bus", 10)
        self.wait_for_file("system_bus", 10)
        self.spawn(["pipewire"])
        self.wait_for_file("pipewire-0", 10)
        self.spawn(["wireplumber"])
        self.shell_log = open(os.path.join(self.runtime, "gnome-shell.log"), "w+")
        self.shell = subprocess.Popen(self.as_user(["gnome-shell", "--wayland", "--headless", "--virtual-monitor",
                                                    f"{WIDTH}x{HEIGHT}"]), env=self.env,
                                      stdout=self.shell_log, stderr=subprocess.STDOUT)
        self.procs.append(self.shell)
        deadline = time.monotonic() + 60
        display = None
        while not (display and "GNOME Shell started" in self.shell_text()):
            if self.shell.poll() is not None or time.monotonic() > deadline:
                pytest.skip("GNOME Shell did not start here: " + self.shell_text()[-800:])
            display = display or re.search(r"Using public X11 display (:\d+)", self.shell_text())
            time.sleep(0.1)
        auth = glob.glob(os.path.join(self.runtime, ".mutter-Xwaylandauth.*"))
        self.env.update(WAYLAND_DISPLAY="wayland-0", DISPLAY=display.group(1))
        if auth:
            self.env["XAUTHORITY"] = auth[0]
        self.driver = self.client([sys.executable, os.path.join(HERE, "gnome_driver.py")])
        self.driver.wait_for("ready", timeout=30)
        # The shell opens on its overview.
        self.driver.send(f"key {ESCAPE}")

    def shell_text(self):
        self.shell_log.flush()
        with open(self.shell_log.name, errors="replace") as f:
            return f.read()

    def wait_for_file(self, name, timeout):
        deadline = time.monotonic() + timeout
        while not os.path.exists(os.path.join(self.runtime, name)):
            assert time.monotonic() < deadline, f"no {name} within {timeout} s"
            time.sleep(0.02)

    def client(self, command, env=None):
        self.clients.append(Client(self.as_user(command), env or self.env, self.log))
        return self.clients[-1]

    def shot(self):
        path = os.path.join(self.runtime, "screen.png")
        self.driver.send(f"shot {path}")
        with Image.open(path) as image:
            picture = image.convert("RGB")
        artifacts = os.environ.get("KORIVAN_E2E_ARTIFACTS")
        if artifacts:  # kept for a look when an assertion fails
            os.makedirs(artifacts, exist_ok=True)
            picture.save(os.path.join(artifacts, "gnome.png"))
        return picture

    def wait_for_picture(self, shows, failure, program=None, timeout=20):
        deadline = time.monotonic() + timeout
        while True:
            picture = self.shot()
            if shows(picture):
                return picture
            assert program is None or program.poll() is None, f"{failure}: the program ended"
            assert time.monotonic() < deadline, failure
            time.sleep(0.1)

    def move(self, x, y):
        self.driver.send(f"move {x} {y}")

    def click(self, x, y):
        self.driver.send(f"move {x} {y}")
        self.driver.send("click")

    def drag(self, points):
        (x, y), *rest = points
        self.driver.send(f"move {x} {y}")
        self.driver.send("down")
        for x, y in rest:
            self.driver.send(f"move {x} {y}")
        self.driver.send("up")

    def stop(self):
        for c in self.clients:
            c.close()
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
        for p in self.procs:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        self.log.seek(0)
        print(self.log.read()[-1500:])
        self.log.close()
        shutil.rmtree(self.runtime, ignore_errors=True)
