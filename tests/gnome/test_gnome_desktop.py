"""The program on a headless GNOME Shell, as a user meets it there: an X11
window through Xwayland above a native Wayland window."""
import os
import shutil
import subprocess
import tempfile
import time
from contextlib import contextmanager

import pytest
from PIL import Image

from gnome_session import HEIGHT, WIDTH, GnomeSession

PROGRAM = os.environ.get("KORIVAN_PROGRAM", "")
PROBE = os.environ.get("KORIVAN_WAYLAND_PROBE", "")
GREEN = (0, 192, 0)  # the probe's window
CORNER = (WIDTH - 80, 0, WIDTH, 30)  # the corner buttons: an arrow becomes a pen
INSIDE = (700, 600)  # over the window, away from the column and the corners


@pytest.fixture(scope="module")
def gnome():
    session = GnomeSession()
    try:
        session.start()
        yield session
    finally:
        session.stop()


@pytest.fixture
def window(gnome):
    """The native Wayland window, maximised under the overlay."""
    window = gnome.client([PROBE, "window", "max"])
    deadline = time.monotonic() + 20
    while not any(l.startswith("window ") and int(l.split()[1]) > WIDTH // 2 for l in window.all()):
        assert time.monotonic() < deadline, f"the window was not maximised: {window.seen}"
        time.sleep(0.05)
    gnome.wait_for_picture(lambda p: p.getpixel(INSIDE) == GREEN, "the window is not shown")
    yield window
    window.close()


def near(a, b, tolerance=8):
    return all(abs(u - v) <= tolerance for u, v in zip(a, b))


@contextmanager
def program_on(gnome, settings="", **extra_env):
    """The program, started as a user would, with a home of its own whose
    Setup.ini holds those settings and saves PNGs into "shots"."""
    home = tempfile.mkdtemp(prefix="korivan-home-")
    ini = os.path.join(home, ".local/share/ORVEL PROJECT/KORIVAN DSK/Setup.ini")
    os.makedirs(os.path.dirname(ini))
    os.mkdir(os.path.join(home, "shots"))
    with open(ini, "w") as f:
        f.write(f"[Setup]\nImageTypeDefault=2\nImagePathDefault={home}/shots/\n" + settings)
    for root, dirs, files in os.walk(home):
        for name in [root] + [os.path.join(root, n) for n in dirs + files]:
            gnome.own(name)
    env = dict(gnome.env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local/share"), XCURSOR_SIZE="24", **extra_env)
    log = open(os.path.join(home, "program.log"), "w+")
    program = subprocess.Popen(gnome.as_user([PROGRAM]), env=env, stdout=log, stderr=subprocess.STDOUT)
    started = time.monotonic()
    try:
        yield Program(gnome, program, env, home, ini, started)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
        log.seek(0)
        print(log.read()[-2000:])
        log.close()
        shutil.rmtree(home, ignore_errors=True)


class Program:
    def __init__(self, gnome, proc, env, home, ini, started):
        self.gnome, self.proc, self.env, self.home, self.ini, self.started = gnome, proc, env, home, ini, started
        self.shots = os.path.join(home, "shots")

    def command(self, option, timeout=20):
        return subprocess.run(self.gnome.as_user([PROGRAM, option]), env=self.env, timeout=timeout,
                              capture_output=True, text=True)

    def column(self):
        """The column seen at the right edge over the window."""
        column = [(x, y) for x in range(WIDTH - 60, WIDTH, 6) for y in range(40, HEIGHT, 12)]
        return self.gnome.wait_for_picture(
            lambda p: sum(p.getpixel(xy) != GREEN for xy in column) > len(column) // 2, "no column over the window",
            self.proc, timeout=40)

    def toggle(self, picture):
        """Drawing switched from the command line, seen in the corner."""
        assert self.command("--toggle").returncode == 0
        before = picture.crop(CORNER).tobytes()
        return self.gnome.wait_for_picture(lambda p: p.crop(CORNER).tobytes() != before, "drawing not switched",
                                           self.proc)


def test_overlay_above_the_native_window_draws_without_reaching_it(gnome, window):
    """The column shows above the native Wayland window; with drawing switched on from the command line, a drag draws the whole
    stroke and none of it reaches the window; --quit ends the program."""
    with program_on(gnome) as program:
        picture = program.column()
        drawing = program.toggle(picture)
        window.all()
        window.seen.clear()
        gnome.drag([(x, 300) for x in range(400, 801, 50)])
        gnome.wait_for_picture(lambda p: stroke_at(p, 300), "no stroke drawn", program.proc)
        assert "window press" not in window.all()
        program.toggle(drawing)
        assert program.command("--quit").returncode == 0
        assert program.proc.wait(timeout=20) == 0
        assert os.path.exists(program.ini)


def pictures(*folders):
    """Every picture under those folders, with its time of change."""
    found = {}
    for folder in folders:
        for root, _, files in os.walk(folder):
            for name in files:
                if not name.lower().endswith((".png", ".jpg", ".jpeg")) or name == "screen.png":
                    continue
                path = os.path.join(root, name)
                found[path] = os.stat(path).st_mtime_ns
    return found


ALLOW = (1081, 636)  # the desktop's question: may the program take pictures?


def asking(picture):
    """The desktop's question box, dark grey over the dimmed screen."""
    box = picture.crop((730, 440, 1190, 600)).getdata()
    return sum(abs(r - g) < 6 and abs(g - b) < 6 and 30 < r < 70 for r, g, b in box) > len(box) * 0.6


def stroke_at(picture, y):
    return sum(picture.getpixel((x, y)) != GREEN for x in range(420, 781, 20)) > 15


def test_save_writes_one_picture_through_the_portal(gnome, window):
    """Rootless Xwayland has no picture of its screen: Save asks the desktop's
    Screenshot portal, with the controls hidden first, and leaves exactly the
    program's picture: the one the portal wrote for it is gone."""
    if not os.path.exists("/usr/libexec/xdg-desktop-portal-gnome"):
        pytest.skip("not installed: xdg-desktop-portal-gnome (scripts/packages/gnome.txt)")
    with program_on(gnome) as program:
        drawing = program.toggle(program.column())
        gnome.drag([(x, 400) for x in range(400, 801, 50)])
        gnome.wait_for_picture(lambda p: stroke_at(p, 400), "no stroke drawn", program.proc)
        gnome.move(300, 900)
        watched = (gnome.runtime, program.home)
        shots = []
        for attempt in range(2):
            before = pictures(*watched)
            asked = time.monotonic()
            assert program.command("--save").returncode == 0
            if attempt == 0:
                # The desktop asks the user once whether the program may take
                # pictures; the second save goes without.
                gnome.wait_for_picture(asking, "the portal asked nothing", program.proc)
                gnome.click(*ALLOW)
            deadline = time.monotonic() + 30
            while len(os.listdir(program.shots)) == len(shots):
                assert time.monotonic() < deadline and program.proc.poll() is None, "no picture saved"
                time.sleep(0.02)
            took = time.monotonic() - asked
            time.sleep(0.5)  # a second file, or the portal's left behind, would be there by now
            name = next(n for n in os.listdir(program.shots) if n not in shots)
            shots.append(name)
            print(f"save {attempt + 1} through the portal: {took:.2f} s")
            with Image.open(os.path.join(program.shots, name)) as image:
                saved = image.convert("RGB")
            after = pictures(*watched)
            assert {p for p in after if p not in before} == {os.path.join(program.shots, name)}
            assert {p: t for p, t in after.items() if p in before} == before
            assert saved.size == (WIDTH, HEIGHT)
            assert stroke_at(saved, 400)
            controls = [(x, y) for x in range(WIDTH - 140, WIDTH, 4) for y in range(60, HEIGHT, 8)]
            shown = [xy for xy in controls if not near(saved.getpixel(xy), GREEN)]
            assert not shown, f"controls in the picture at {shown[:5]}"
        program.toggle(drawing)


BUS_CONFIG = """<busconfig><type>session</type><listen>unix:path={}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
</policy></busconfig>"""


def test_without_a_portal_save_tells_why_and_quit_still_ends(gnome, window):
    """With no Screenshot portal on its bus, Save writes nothing and an error
    box says why; --quit given while the box is open ends the program, the
    settings written."""
    bus_folder = tempfile.mkdtemp(prefix="korivan-bus-")
    gnome.own(bus_folder)
    with open(os.path.join(bus_folder, "bus.conf"), "w") as f:
        f.write(BUS_CONFIG.format(os.path.join(bus_folder, "bus")))
    bus = gnome.spawn(["dbus-daemon", "--config-file", os.path.join(bus_folder, "bus.conf"), "--nofork"])
    try:
        deadline = time.monotonic() + 10
        while not os.path.exists(os.path.join(bus_folder, "bus")):
            assert time.monotonic() < deadline, "the bus did not start"
            time.sleep(0.02)
        with program_on(gnome, DBUS_SESSION_BUS_ADDRESS=f"unix:path={bus_folder}/bus") as program:
            program.column()
            assert program.command("--save").returncode == 0
            box = (WIDTH // 2 - 150, HEIGHT // 2 - 40, WIDTH // 2 + 150, HEIGHT // 2 + 40)
            grey = lambda p: sum(near(v, (239, 239, 239), 12) for v in p.crop(box).getdata()) > 300 * 80 // 3
            gnome.wait_for_picture(grey, "no error box seen", program.proc, timeout=30)
            assert os.listdir(program.shots) == []
            os.remove(program.ini)
            assert program.command("--quit").returncode == 0
            assert program.proc.wait(timeout=20) == 0
            assert os.path.exists(program.ini)
    finally:
        bus.terminate()
        bus.wait(timeout=10)
        shutil.rmtree(bus_folder, ignore_errors=True)


CUSTOM = "org.gnome.settings-daemon.plugins.media-keys"
OURS = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/korivan-dsk/"
THEIRS = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/"


def test_gnome_shortcut_added_and_removed_beside_the_users_own(tmp_path):
    """--install-gnome-shortcut adds a custom shortcut running --toggle on
    keypad * (or the Setup's Drawing on/off shortcut), the user's own custom
    shortcut kept; --remove-gnome-shortcut takes only ours away."""
    if not shutil.which("gsettings"):
        pytest.skip("not installed: gsettings (scripts/packages/gnome.txt)")
    env = {k: v for k, v in os.environ.items() if not k.startswith(("DBUS", "XDG_"))}
    env.update(HOME=str(tmp_path), XDG_CONFIG_HOME=str(tmp_path / ".config"), GSETTINGS_BACKEND="keyfile",
               XDG_DATA_HOME=str(tmp_path / ".local/share"))
    gset = lambda *a: subprocess.run(["gsettings", *a], env=env, capture_output=True, text=True, timeout=20)
    if gset("list-keys", CUSTOM).returncode != 0:
        pytest.skip("the media-keys schema is not installed (gnome-settings-daemon-common)")
    theirs = f"{CUSTOM}.custom-keybinding:{THEIRS}"
    assert gset("set", theirs, "command", "their-tool").returncode == 0
    assert gset("set", CUSTOM, "custom-keybindings", f"['{THEIRS}']").returncode == 0
    run = lambda option: subprocess.run([PROGRAM, option], env=env, capture_output=True, text=True, timeout=20)
    ini = tmp_path / ".local/share/ORVEL PROJECT/KORIVAN DSK/Setup.ini"

    added = run("--install-gnome-shortcut")
    assert added.returncode == 0, added.stderr
    assert gset("get", CUSTOM, "custom-keybindings").stdout.strip() == f"['{THEIRS}', '{OURS}']"
    ours = f"{CUSTOM}.custom-keybinding:{OURS}"
    assert gset("get", ours, "command").stdout.strip() == f"'{PROGRAM} --toggle'"
    assert gset("get", ours, "binding").stdout.strip() == "'KP_Multiply'"
    # Again, with a shortcut of Setup's: the same entry, on that key.
    ini.parent.mkdir(parents=True)
    ini.write_text("[HotKeys]\nToggle=Ctrl+Alt+D\n")
    assert run("--install-gnome-shortcut").returncode == 0
    assert gset("get", CUSTOM, "custom-keybindings").stdout.strip() == f"['{THEIRS}', '{OURS}']"
    assert gset("get", ours, "binding").stdout.strip() == "'<Control><Alt>d'"

    removed = run("--remove-gnome-shortcut")
    assert removed.returncode == 0, removed.stderr
    assert gset("get", CUSTOM, "custom-keybindings").stdout.strip() == f"['{THEIRS}']"
    assert gset("get", theirs, "command").stdout.strip() == "'their-tool'"
    assert gset("get", ours, "command").stdout.strip() == "''"
