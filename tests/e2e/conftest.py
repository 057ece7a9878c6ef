"""End-to-end fixtures: every scenario gets a fresh X session of its own
(Xvfb, openbox, picom), a private home and runtime folder, and the program
started in it. Nothing touches the user's display, settings or instance.

A failed scenario keeps a root screenshot and the programs' output in the
folder named by KORIVAN_E2E_ARTIFACTS (the build tree's e2e-failures/).
"""

import io
import os
import re
import shutil
import signal
import subprocess
import time
from pathlib import Path

import pytest
from PIL import Image, ImageChops

PROGRAM = os.environ.get("KORIVAN_PROGRAM", "")
HELPER = os.environ.get("KORIVAN_E2E_HELPER", "")
ARTIFACTS = os.environ.get("KORIVAN_E2E_ARTIFACTS", "")


PANEL = (0x1F, 0x1F, 0x1F)


def wait_until(probe, timeout=10.0, interval=0.05):
    """Polls probe until it returns something true; returns that, or None."""
    end = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= end:
            return None
        time.sleep(interval)


def near(a, b, tolerance=4):
    return all(abs(x - y) <= tolerance for x, y in zip(a[:3], b[:3]))


class XSession:
    """A private X server with a window manager and a compositor."""

    def __init__(self, tmp: Path, width: int, height: int):
        self.tmp = tmp
        self.width, self.height = width, height
        self.procs = []  # (name, Popen), started in order
        home = tmp / "home"
        run = tmp / "run"
        home.mkdir()
        run.mkdir(mode=0o700)
        self.home = home
        self.env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "DISPLAY")}
        self.env.update(
            HOME=str(home),
            XDG_RUNTIME_DIR=str(run),
            XDG_CONFIG_HOME=str(home / ".config"),
            XDG_DATA_HOME=str(home / ".local/share"),
            XDG_CACHE_HOME=str(home / ".cache"),
            XAUTHORITY=str(tmp / "Xauthority"),
            QT_QPA_PLATFORM="xcb",
        )
        self.last_shot = None

    # -- processes ---------------------------------------------------------
    def spawn(self, name, args, **kw):
        log = open(self.tmp / f"{name}.log", "ab")
        proc = subprocess.Popen(args, env=self.env, stdout=log, stderr=subprocess.STDOUT, **kw)
        self.procs.append((name, proc))
        return proc

    def run(self, *args, check=True, timeout=30):
        return subprocess.run(args, env=self.env, check=check, timeout=timeout,
                              capture_output=True, text=True)

    def server(self, ready_fd):
        """The X server's name and command line; it writes its display number to ready_fd."""
        return "xvfb", ["Xvfb", "-displayfd", str(ready_fd), "-screen", "0", f"{self.width}x{self.height}x24",
                        "-nolisten", "tcp", "-noreset", "-auth", self.env["XAUTHORITY"]]

    def start(self):
        cookie = subprocess.run(["mcookie"], capture_output=True, text=True, check=True).stdout.strip()
        Path(self.env["XAUTHORITY"]).touch()
        rfd, wfd = os.pipe()
        name, args = self.server(wfd)
        self.spawn(name, args, pass_fds=(wfd,))
        os.close(wfd)
        with os.fdopen(rfd) as r:
            number = r.readline().strip()
        assert number, f"{name} did not start"
        self.env["DISPLAY"] = f":{number}"
        self.run("xauth", "-q", "-f", self.env["XAUTHORITY"], "add", self.env["DISPLAY"],
                 "MIT-MAGIC-COOKIE-1", cookie)
        self.spawn("openbox", ["openbox", "--sm-disable"])
        assert self.run(HELPER, "wait-wm", "10000", check=False).returncode == 0, "openbox did not start"
        self.spawn("picom", ["picom", "--backend", "xrender", "--config", "/dev/null"])
        assert self.run(HELPER, "wait-compositor", "10000", check=False).returncode == 0, \
            "picom did not start"

    def stop(self):
        for _, proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
        for _, proc in self.procs:
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    # -- looking -----------------------------------------------------------
    def shot(self) -> Image.Image:
        png = subprocess.run(["import", "-window", "root", "png:-"], env=self.env, check=True,
                             capture_output=True, timeout=30).stdout
        self.last_shot = Image.open(io.BytesIO(png)).convert("RGB")
        return self.last_shot

    def pixel(self, x, y, shot=None):
        return (shot or self.shot()).getpixel((x, y))

    def windows_named(self, name):
        """(id, width, height) of the mapped windows with this name."""
        out = self.run("xwininfo", "-root", "-tree", check=False).stdout
        found = []
        for line in out.splitlines():
            if f'"{name}"' not in line:
                continue
            m = re.search(r"^\s*(0x[0-9a-f]+) .* (\d+)x(\d+)[+-]", line)
            if m and (m.group(2), m.group(3)) != ("1", "1"):
                found.append((int(m.group(1), 16), int(m.group(2)), int(m.group(3))))
        return found

    # -- acting ------------------------------------------------------------
    def xdotool(self, *args):
        return self.run("xdotool", *[str(a) for a in args]).stdout.strip()

    def click(self, x, y):
        self.xdotool("mousemove", x, y, "click", 1)

    def drag(self, points):
        args = ["mousemove", points[0][0], points[0][1], "mousedown", 1]
        for x, y in points[1:]:
            args += ["mousemove", x, y]
        args += ["mouseup", 1]
        self.xdotool(*args)

    def key(self, *names):
        self.xdotool("key", *names)

    def active_window(self):
        out = self.run("xdotool", "getactivewindow", check=False).stdout.strip()
        return int(out) if out.isdigit() else 0

    def test_window(self, name, x, y, w, h, rgb, mode=None):
        """A plain window that records its clicks and keys; returns it once mapped."""
        return TestWindow(self, name, x, y, w, h, rgb, mode)


class TestWindow:
    def __init__(self, session, name, x, y, w, h, rgb, mode):
        self.log = session.tmp / f"{name}.txt"
        args = [HELPER, "window", name, str(self.log), str(x), str(y), str(w), str(h), rgb]
        if mode:
            args.append(mode)
        self.proc = session.spawn(name, args)
        line = wait_until(lambda: self._first("mapped"), 10)
        assert line, f"test window {name} did not map"
        self.id = int(line.split()[1])
        self.colour = tuple(int(rgb[i:i + 2], 16) for i in (0, 2, 4))
        geo = session.run("xdotool", "getwindowgeometry", "--shell", str(self.id)).stdout
        vals = dict(l.split("=", 1) for l in geo.split() if "=" in l)
        self.x, self.y = int(vals["X"]), int(vals["Y"])
        self.width, self.height = int(vals["WIDTH"]), int(vals["HEIGHT"])

    def lines(self, kind):
        try:
            text = self.log.read_text()
        except FileNotFoundError:
            return []
        return [l for l in text.splitlines() if l.startswith(kind + " ")]

    def _first(self, kind):
        found = self.lines(kind)
        return found[0] if found else None

    def clicks(self):
        return [tuple(map(int, l.split()[1:3])) for l in self.lines("click")]

    def keys(self):
        return len(self.lines("key"))


class Overlay:
    """The program running in a session."""

    def __init__(self, session: XSession, proc, window: int):
        self.session = session
        self.proc = proc
        self.window = window
        w, h = session.width, session.height
        self.write_rect = (w - 45, 15)  # the drawing switch
        self.mode_rect = (w - 15, 15)  # shows and hides the column

    def tile(self, index):
        """The centre of tile `index` of the column."""
        w = self.session.width
        return (w - 140 + (index % 2) * 70 + 35, 30 + (index // 2) * 70 + 35)

    def click_tile(self, index):
        """Clicks a tile, showing the column first when it hid itself (it
        does so half a second after the pointer left it for the desktop)."""
        # Over a tile the column stays, so it is checked with the pointer there.
        self.session.xdotool("mousemove", *self.tile(index))
        time.sleep(0.1)
        if not self.column_shown():
            self.session.click(*self.mode_rect)
            assert wait_until(self.column_shown), "the column did not show"
            self.session.xdotool("mousemove", *self.tile(index))
        self.session.click(*self.tile(index))

    def input_at(self, *points):
        args = [HELPER, "input-at", str(self.window)]
        for x, y in points:
            args += [str(x), str(y)]
        return self.session.run(*args).stdout.strip()

    def drawing(self):
        """Whether the whole window takes the pointer (drawing on)."""
        w, h = self.session.width, self.session.height
        return self.input_at((w // 2, h // 2), (10, h - 10)) == "11"

    def passing(self):
        w, h = self.session.width, self.session.height
        return self.input_at((w // 2, h // 2), (10, h - 10)) == "00"

    def column_shown(self, shot=None):
        """The panel's dark fill beside the first tile, and the tile on it."""
        shot = shot or self.session.shot()
        x, y = self.tile(0)
        panel = shot.getpixel((self.session.width - 138, y))
        return near(panel, PANEL) and not near(shot.getpixel((x, y + 25)), PANEL)

    def alive(self):
        return self.proc.poll() is None

    @property
    def setup_ini(self) -> Path:
        return self.session.home / ".local/share/ORVEL PROJECT/KORIVAN DSK/Setup.ini"


def start_overlay(session: XSession, setup_ini: str | None = None) -> Overlay:
    if setup_ini is not None:
        folder = session.home / ".local/share/ORVEL PROJECT/KORIVAN DSK"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "Setup.ini").write_text(setup_ini)
    proc = session.spawn("app", [PROGRAM])
    size = (session.width, session.height)
    found = wait_until(lambda: [w for w in session.windows_named("KORIVAN D") if w[1:] == size], 20)
    assert found, "no overlay window"
    overlay = Overlay(session, proc, found[0][0])
    assert wait_until(overlay.passing, 10), "the overlay's input shape was not set"
    assert wait_until(overlay.column_shown, 10), "the tile column did not show"
    return overlay


# -- what a user meets, shared by the scenarios --------------------------

# The factory column: stock pens 0-4, Pen Setup, Undo, Redo, Eraser,
# Erase All, Save, Info, then Menu, Setup and Close.
PEN_SETUP, UNDO, REDO, ERASER, ERASE_ALL, SAVE, INFO, MENU, SETUP, CLOSE = 5, 6, 7, 8, 9, 10, 11, 12, 13, 14

GREEN_TILE = (0x33, 0x99, 0x33)  # the pen chooser's OK tile
RED_TILE = (0xE5, 0x14, 0x00)  # Close, in the column and the launcher


def stroke(session, x, y, length=300):
    """A straight stroke to the right, one pointer move every 10 pixels."""
    session.drag([(x + i * 10, y) for i in range(length // 10 + 1)])


def shows(session, point, colour, tolerance=4):
    return lambda: near(session.pixel(*point), colour, tolerance)


def differs(image, other, boxes, tolerance):
    """Whether image differs from other (an image or a colour) in any box by more than tolerance."""
    for box in boxes:
        part = image.convert("RGB").crop(box)
        ref = other.convert("RGB").crop(box) if isinstance(other, Image.Image) else Image.new("RGB", part.size, other[:3])
        if ImageChops.difference(part, ref).point(lambda v: 255 if v > tolerance else 0).getbbox():
            return True
    return False


def settled_shot(session, first, boxes):
    """A screenshot once two looks in a row agree in the boxes (a stroke
    shown whole, not half way through its frames); None if they never do."""
    looks = [first]

    def settled():
        looks.append(session.shot())
        return not differs(looks[-1], looks[-2], boxes, 0)
    return looks[-1] if wait_until(settled) else None


def windows_titled(session, start):
    out = session.run("xwininfo", "-root", "-tree", check=False).stdout
    return [int(m.group(1), 16) for m in re.finditer(r'^\s*(0x[0-9a-f]+) "([^"]*)".* (\d+)x(\d+)[+-]', out, re.M)
            if m.group(2).startswith(start) and m.group(3) != "1"]


def client_rect(session, wid):
    """(x, y, width, height) of a window's client area on screen, or None;
    xwininfo, since xdotool counts a frame's title bar in twice."""
    info = session.run("xwininfo", "-id", str(wid), check=False).stdout
    vals = dict(re.findall(r"^\s*(Absolute upper-left [XY]|Width|Height):\s*(-?\d+)", info, re.M))
    keys = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
    return tuple(int(vals[k]) for k in keys) if all(k in vals for k in keys) else None


def on_top(session, wid):
    """Whether the screen shows the window as the window draws itself."""
    x, y, w, h = client_rect(session, wid)
    own = subprocess.run(["import", "-window", str(wid), "png:-"], env=session.env, check=True,
                         capture_output=True, timeout=30).stdout
    shot = session.shot().crop((x, y, x + w, y + h))
    return not differs(shot, Image.open(io.BytesIO(own)), [(4, 4, w - 4, h - 4)], 4)


# Saving.
PICTURE_NAME = re.compile(r"^\d{8}_\d{6}\.(jpg|png|bmp|tga|psd)$")


def pictures_folder(session, name="Bilder"):
    """Points the XDG pictures folder at one that does not exist yet."""
    (session.home / ".config").mkdir(parents=True, exist_ok=True)
    (session.home / ".config/user-dirs.dirs").write_text(f'XDG_PICTURES_DIR="$HOME/{name}"\n')
    return session.home / name


def saved(folder, newer_than=0, name=PICTURE_NAME):
    """The complete pictures in folder once one is newer than the given time;
    the writer's temporary files never carry a picture's name."""
    def ready():
        files = sorted(folder.iterdir()) if folder.is_dir() else []
        pictures = [p for p in files if name.match(p.name)]
        fresh = any(p.stat().st_mtime_ns > newer_than for p in pictures)
        return pictures if fresh and len(files) == len(pictures) else None
    return wait_until(ready, 20)


# The launcher and the pen chooser are centred on the 1920 x 1080 overlay.
LAUNCHER = ((1920 - 500) // 2, (1080 - 350) // 2)  # 30 entries: 6 columns, 5 rows
CHOOSER = ((1920 - 680) // 2, (1080 - 430) // 2)


def tile_centre(origin, x, y):
    return (origin[0] + x + 30, origin[1] + y + 30)


def launcher_tile(i):
    return tile_centre(LAUNCHER, 70 * (i % 6) + 5, 70 * (i // 6) + 5)


def chooser_colour_tile(i):
    return tile_centre(CHOOSER, 70 * (i % 2 + 2) + 15, 70 * (i // 2) + 5)


CHOOSER_OK, LAUNCHER_CLOSE = tile_centre(CHOOSER, 615, 5), tile_centre(LAUNCHER, 435, 5)


def open_chooser(session, overlay):
    overlay.click_tile(PEN_SETUP)
    assert wait_until(shows(session, CHOOSER_OK, GREEN_TILE)), "the pen chooser did not show"


def chooser_closed(session):
    return lambda: not near(session.pixel(*CHOOSER_OK), GREEN_TILE)


def about_box(session):
    """Where the about box's client area lies on screen, or None."""
    ids = session.run("xdotool", "search", "--onlyvisible", "--name", "^About This Application",
                      check=False).stdout.split()
    return client_rect(session, ids[0]) if ids else None


# Places in the settings dialog's client area, from its layout: the first
# page's colour digits, the middle of stock pen 0's swatch, the buttons, and
# a blank spot between Default and OK.
COLOUR_EDIT = (343, 294)
SWATCH0 = (80, 69)
SETUP_OK, SETUP_CANCEL = (333, 454), (437, 454)
SETUP_BLANK = (190, 454)


def setup_dialog(session):
    """(x, y) of the client area of the mapped settings dialog, or None."""
    out = session.run("xwininfo", "-root", "-tree", check=False).stdout
    for line in out.splitlines():
        m = re.search(r'^\s*(0x[0-9a-f]+) "Setup[^"]*": .* 490x492\+', line)
        if m:
            rect = client_rect(session, m.group(1))
            if rect:
                return rect[:2]
    return None


def open_setup(session, overlay):
    overlay.click_tile(SETUP)
    at = wait_until(lambda: setup_dialog(session), 15)
    assert at, "the settings dialog did not open"
    return at


def type_colour(session, at, digits):
    """Types into stock pen 0's colour digits and takes them with Enter."""
    session.click(at[0] + COLOUR_EDIT[0], at[1] + COLOUR_EDIT[1])
    session.key("ctrl+a")
    session.xdotool("type", "--delay", "30", digits)
    session.key("Return")


def tile_colour(session, overlay, index):
    # The column hides itself once the pointer has left it for the desktop.
    if not overlay.column_shown():
        session.click(*overlay.mode_rect)
        assert wait_until(overlay.column_shown), "the column did not show"
    x, y = overlay.tile(index)
    return session.pixel(x - 22, y - 22)  # inside the tile's frame, off its icon


@pytest.hookimpl(hookwrapper=True, tryfirst=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, "rep_" + report.when, report)


def _keep_artifacts(request, session: XSession):
    failed = any(getattr(request.node, "rep_" + w, None) is not None and
                 getattr(request.node, "rep_" + w).failed for w in ("setup", "call"))
    if not failed or not ARTIFACTS:
        return
    out = Path(ARTIFACTS) / re.sub(r"[^A-Za-z0-9_.-]", "_", request.node.nodeid)
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    try:
        session.shot().save(out / "screen.png")
    except Exception as e:  # the X server itself may be what failed
        (out / "screen-error.txt").write_text(str(e))
    for log in session.tmp.glob("*.log"):
        shutil.copy(log, out / log.name)
    print(f"kept the failure's screenshot and logs in {out}")


def _session(request, tmp_path, width, height):
    assert PROGRAM and HELPER, "KORIVAN_PROGRAM and KORIVAN_E2E_HELPER must name the program and helper"
    session = XSession(tmp_path, width, height)
    try:
        session.start()
        yield session
    finally:
        _keep_artifacts(request, session)
        session.stop()


@pytest.fixture
def xsession(request, tmp_path):
    """A fresh X session at 1920 x 1080."""
    yield from _session(request, tmp_path, 1920, 1080)


@pytest.fixture
def overlay(xsession):
    """The program started with factory settings in a fresh session."""
    app = start_overlay(xsession)
    yield app
    if app.alive():
        app.proc.send_signal(signal.SIGTERM)
        app.proc.wait(timeout=10)
