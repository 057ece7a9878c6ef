"""The overlay surface on a real compositor: a headless sway run by an
unprivileged user, an ordinary window below, pictures through grim and a
virtual pointer for clicks."""
import os
import pwd
import queue
import shutil
import subprocess
import tempfile
import threading
import time
from contextlib import contextmanager

import pytest
from PIL import Image

PROBE = os.environ["KORIVAN_WAYLAND_PROBE"]
WIDTH, HEIGHT = 640, 480
GREEN = (0, 192, 0)  # the probe's window
# The output's scale, a second output to the right of the first (a blue
# background, no window) or a larger output: the session fixture's parameter.
CONFIG = """xwayland disable
output HEADLESS-1 mode {width}x{height} scale {scale} pos 0 0
output HEADLESS-2 mode {width}x{height} scale {scale} pos {width} 0 bg #0000c0 solid_color
default_border none
focus_follows_mouse no
"""


class Client:
    """A helper program (a mode of the probe, or the stand-in portal) that
    ends when its standard input closes, its output lines read as they come."""

    def __init__(self, command, env):
        self.proc = subprocess.Popen(command, env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        self.lines, self.seen = queue.Queue(), []
        threading.Thread(target=lambda: [self.lines.put(l.strip()) for l in self.proc.stdout],
                         daemon=True).start()

    def wait_for(self, prefix, timeout=15):
        """The first line so far that starts with prefix, waiting for it."""
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
        """Every line so far."""
        while not self.lines.empty():
            self.seen.append(self.lines.get())
        return self.seen

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def close(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


@pytest.fixture
def session(request):
    param = getattr(request, "param", 1)
    outputs = 2 if param == "two outputs" else 1
    scale = param if isinstance(param, (int, float)) else 1
    width, height = (1280, 720) if param == "1280x720" else (round(WIDTH * scale), round(HEIGHT * scale))
    missing = [p for p in ("sway", "grim", "wtype") if not shutil.which(p)]
    if missing:
        pytest.skip(f"not installed: {' '.join(missing)} (scripts/packages/wayland.txt)")
    # In the system temporary folder rather than pytest's, which the unprivileged user cannot enter.
    runtime = tempfile.mkdtemp(prefix="korivan-sway-")
    with open(os.path.join(runtime, "config"), "w") as f:
        # The same logical size at every scale.
        f.write(CONFIG.format(width=width, height=height, scale=scale))
    command = ["sway", "-c", os.path.join(runtime, "config")]
    if os.getuid() == 0:  # sway refuses to run as root
        nobody = pwd.getpwnam("nobody")
        os.chown(runtime, nobody.pw_uid, nobody.pw_gid)
        command = ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}",
                   "--clear-groups", "--"] + command
    env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "DISPLAY")}
    env.update(XDG_RUNTIME_DIR=runtime, HOME=runtime, WLR_BACKENDS="headless",
               WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman", WLR_HEADLESS_OUTPUTS=str(outputs))
    log = open(os.path.join(runtime, "sway.log"), "w+")
    sway = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT)
    clients = []
    try:
        deadline = time.monotonic() + 20
        while not any(n.startswith("wayland-") and not n.endswith(".lock") for n in os.listdir(runtime)):
            if sway.poll() is not None or time.monotonic() > deadline:
                log.seek(0)
                pytest.skip("sway did not start here: " + log.read()[-600:])
            time.sleep(0.05)
        env["WAYLAND_DISPLAY"] = next(n for n in os.listdir(runtime)
                                      if n.startswith("wayland-") and not n.endswith(".lock"))

        def start(mode):
            clients.append(Client([PROBE, mode], env) if isinstance(mode, str) else Client(*mode))
            return clients[-1]

        yield start, env, runtime
    finally:
        for c in clients:
            c.close()
        sway.terminate()
        try:
            sway.wait(timeout=10)
        except subprocess.TimeoutExpired:
            sway.kill()
            sway.wait()
        log.close()
        shutil.rmtree(runtime, ignore_errors=True)


class Picture:
    """A grim picture read in the output's logical pixels, whatever its scale."""

    def __init__(self, image):
        self.image = image
        self.scale = image.height / HEIGHT  # outputs side by side

    def getpixel(self, xy):
        return self.image.getpixel((int(xy[0] * self.scale), int(xy[1] * self.scale)))

    def crop(self, box):
        return self.image.crop(tuple(int(v * self.scale) for v in box))


def screenshot(env, runtime):
    path = os.path.join(runtime, "screen.png")
    subprocess.run(["grim", path], env=env, check=True, timeout=20)
    picture = Picture(Image.open(path).convert("RGB"))
    artifacts = os.environ.get("KORIVAN_E2E_ARTIFACTS")
    if artifacts:  # kept for a look when an assertion below fails
        os.makedirs(artifacts, exist_ok=True)
        picture.image.save(os.path.join(artifacts, "wayland_overlay.png"))
    return picture


def wait_for_picture(env, runtime, shows, failure, program=None, timeout=20):
    deadline = time.monotonic() + timeout
    while True:
        picture = screenshot(env, runtime)
        if shows(picture):
            return picture
        assert program is None or program.poll() is None, f"{failure}: the program ended"
        assert time.monotonic() < deadline, failure
        time.sleep(0.1)


def move_until(pointer, client, x, y, expected):
    """Moves the pointer until the client reports it: a new virtual pointer
    reaches clients only once their seat has seen it appear."""
    deadline = time.monotonic() + 15
    while True:
        pointer.send(f"move {x} {y} {WIDTH} {HEIGHT}")
        pointer.wait_for("ok")
        pointer.seen.clear()
        try:
            return client.wait_for(expected, timeout=0.3)
        except AssertionError:
            if time.monotonic() > deadline:
                raise


def test_overlay_above_window_with_pass_through(session):
    start, env, runtime = session
    window = start("window")
    window.wait_for("window ")
    overlay = start("overlay")
    assert overlay.wait_for("layer-shell") == "layer-shell yes"
    assert overlay.wait_for("size") == f"size {WIDTH} {HEIGHT}"
    overlay.wait_for("shown")
    assert not [l for l in overlay.seen if l.startswith("error")]

    picture = screenshot(env, runtime)
    # Each block painted in its own frame, the transparent rest showing the window.
    for (x, y), colour in {(100, 80): (255, 0, 0), (230, 70): (0, 0, 255), (70, 230): (255, 255, 0),
                           (500, 400): GREEN, (300, 150): GREEN}.items():
        assert picture.getpixel((x, y)) == colour, (x, y)

    pointer = start("pointer")
    pointer.wait_for("ready")
    # Inside the input region the overlay takes the click...
    move_until(pointer, overlay, 100, 80, "overlay enter")
    pointer.send("click")
    assert overlay.wait_for("overlay press") == "overlay press 100 80 down"
    # ...outside it, over its own painted blue block too, the window below does.
    move_until(pointer, window, 230, 70, "window enter")
    pointer.send("click")
    window.wait_for("window press")
    assert len([l for l in overlay.all() if l.endswith("down")]) == 1


@contextmanager
def program_on(env, runtime, settings="", **extra_env):
    """The program, started as a user would (its own choice, no toolkit
    platform named), with a home of its own and those settings, saving PNGs
    into the home's folder "shots"; ended by force if still there."""
    home = tempfile.mkdtemp(prefix="korivan-home-")
    os.mkdir(os.path.join(home, "shots"))
    os.makedirs(os.path.dirname(setup_path(home)))
    with open(setup_path(home), "w") as f:
        f.write(f"[Setup]\nImageTypeDefault=2\nImagePathDefault={home}/shots/\n" + settings)
    own_runtime = os.path.join(home, "run")
    os.mkdir(own_runtime, 0o700)
    program_env = dict(env, HOME=home, XDG_RUNTIME_DIR=own_runtime, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                       WAYLAND_DISPLAY=os.path.join(runtime, env["WAYLAND_DISPLAY"]), XCURSOR_SIZE="24", **extra_env)
    for name in ("QT_QPA_PLATFORM", "KORIVAN_BACKEND"):
        program_env.pop(name, None)
    log = open(os.path.join(home, "program.log"), "w+")
    program = subprocess.Popen([os.environ["KORIVAN_PROGRAM"]], env=program_env, stdout=log,
                               stderr=subprocess.STDOUT)
    try:
        yield program, program_env, home
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
        log.seek(0)
        print(log.read()[-2000:])
        log.close()
        shutil.rmtree(home, ignore_errors=True)


def setup_path(home):
    return os.path.join(home, ".local/share/ORVEL PROJECT/KORIVAN DSK/Setup.ini")


def wait_for_column(env, runtime, program, right=WIDTH, below=GREEN):
    """The column seen at the right edge of an output, over that colour, and
    the window on the first output (sway's grey background until the
    window's first frame is on the screen)."""
    column = [(x, y) for x in range(right - 60, right, 4) for y in range(0, HEIGHT, 4)]
    return wait_for_picture(env, runtime, lambda p: sum(not_window(p.getpixel(xy), below) for xy in column)
                            > len(column) // 4 and p.getpixel((WIDTH // 3, HEIGHT // 2)) == GREEN,
                            "no column over the window", program, timeout=40)  # a start on a busy machine


def pointer_first(start):
    """The virtual pointer, started before the program: the seat has a pointer
    only once it exists, and a client that has not yet made its own misses
    the clicks."""
    pointer = start("pointer")
    pointer.wait_for("ready")
    return pointer


def pointer_marks(crop, below=GREEN):
    """Where a picture differs from what lies below (the window's green): the
    pointer's shape."""
    return {(i % crop.width, i // crop.width) for i, v in enumerate(crop.getdata())
            if max(abs(a - b) for a, b in zip(v, below)) > 8}


def compositor_connections(env, runtime, pid):
    """How many connections the process holds to the session's compositor:
    its sockets whose peer is one that sway accepted on its own socket."""
    path = os.path.join(runtime, env["WAYLAND_DISPLAY"])
    own = set()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            link = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue  # closed meanwhile
        if link.startswith("socket:["):
            own.add(link[len("socket:["):-1])
    # Netid State Recv-Q Send-Q Local-Address Port Peer-Address Port
    lines = subprocess.run(["ss", "-x", "-n"], capture_output=True, text=True, check=True, timeout=10).stdout
    rows = [line.split() for line in lines.splitlines()[1:]]
    return sum(1 for r in rows if len(r) >= 8 and r[4] == path and r[7] in own)


def click(pointer, x, y, width=WIDTH, height=HEIGHT):
    for line in [f"move {x} {y} {width} {height}", "click"]:
        pointer.send(line)
        pointer.wait_for("ok")
        pointer.seen.clear()


def drag(pointer, points, width=WIDTH):
    """Through the points with the button held; width: of all outputs together."""
    (x, y), *rest = points
    for line in [f"move {x} {y} {width} {HEIGHT}", "down"] + [f"move {x} {y} {width} {HEIGHT}"
                                                             for x, y in rest] + ["up"]:
        pointer.send(line)
        pointer.wait_for("ok")
        pointer.seen.clear()


def draw_stroke(env, runtime, program_env, pointer, window, picture, y):
    """Drawing on from the command line, then a drag from x 100 to 300 at y,
    which draws rather than reaching the window below."""
    toggle = subprocess.run([os.environ["KORIVAN_PROGRAM"], "--toggle"], env=program_env, timeout=20)
    assert toggle.returncode == 0
    corner = (WIDTH - 80, 0, WIDTH, 30)  # the corner buttons: an arrow becomes a pen
    before = picture.crop(corner).tobytes()
    wait_for_picture(env, runtime, lambda p: p.crop(corner).tobytes() != before, "drawing not switched on")
    window.seen.clear()
    drag(pointer, [(x, y) for x in range(100, 301, 20)])
    wait_for_picture(env, runtime, lambda p: stroke_at(p, y), "no stroke drawn")
    assert "window press" not in window.all()


def save(program_env, shots, proc):
    """--save, and the PNG written (by a thread of the program's), decoded."""
    assert subprocess.run([os.environ["KORIVAN_PROGRAM"], "--save"], env=program_env, timeout=20).returncode == 0
    return written(shots, proc)


def written(shots, proc, name=None):
    """The PNG of that name (else any) once written into shots, decoded."""
    deadline = time.monotonic() + 20
    while True:
        try:
            name = name or next(n for n in os.listdir(shots) if n.endswith(".png"))
            return Image.open(os.path.join(shots, name)).convert("RGB")
        except (StopIteration, OSError):
            assert time.monotonic() < deadline and proc.poll() is None, f"no picture saved; saw {os.listdir(shots)}"
            time.sleep(0.05)


def near(a, b):
    return all(abs(u - v) <= 2 for u, v in zip(a, b))


def assert_saved_screen(saved, y):
    assert saved.size == (WIDTH, HEIGHT)
    # The stroke where it was drawn, the window around it and below the column...
    assert stroke_at(saved, y) and all(near(saved.getpixel((x, y + dy)), GREEN)
                                       for x in range(120, 281, 10) for dy in (-12, 12))
    # ...and neither the tiles nor the corner buttons.
    controls = [(x, y) for x in range(WIDTH - 140, WIDTH, 3) for y in range(0, HEIGHT, 3)]
    shown = [xy for xy in controls if not near(saved.getpixel(xy), GREEN)]
    assert not shown, f"controls in the picture at {shown[:5]}"


def not_window(pixel, window=GREEN):
    """Something over the window: the drawing surface's all but clear
    background alone shifts its colour by a step or two."""
    return max(abs(a - b) for a, b in zip(pixel, window)) > 24


def stroke_at(picture, y):
    return sum(not_window(picture.getpixel((x, y))) for x in range(120, 281, 10)) >= 15


def test_program_as_layer_surface(session):
    """The program's column over the window, clicks elsewhere reaching the
    window, drawing switched from the command line, Save through the
    compositor's screen copy, a dialog above it taking clicks and keys, a
    keypad key on the overlay, a clean end on request."""
    start, env, runtime = session
    window = start("window")
    window.wait_for("window ")
    with program_on(env, runtime) as (program, program_env, home):
        picture = wait_for_column(env, runtime, program)

        pointer = start("pointer")
        pointer.wait_for("ready")
        centre = (WIDTH // 3, HEIGHT // 2)
        move_until(pointer, window, *centre, "window enter")
        pointer.send("click")
        window.wait_for("window press")

        draw_stroke(env, runtime, program_env, pointer, window, picture, HEIGHT // 2)
        pointer.send(f"move 20 20 {WIDTH} {HEIGHT}")  # the headless output draws the pointer in
        pointer.wait_for("ok")
        pointer.seen.clear()
        assert_saved_screen(save(program_env, os.path.join(home, "shots"), proc=program), HEIGHT // 2)

        # A dialog of the program's comes out above the overlay and takes clicks.
        click(pointer, 535, 415)  # the Setup tile
        dialog = (75, 0, 565, 480)  # centred, its top on the surface
        grey = lambda p: sum(v == (238, 238, 238) for v in p.crop(dialog).getdata()) > 490 * 480 // 5
        wait_for_picture(env, runtime, grey, "no dialog seen")
        # It has the keyboard: a colour typed into the current pen's field (the
        # click leaves the cursor at the end) and taken with Enter turns the
        # pen's preview red.
        click(pointer, 417, 294)
        # One wtype for all: each makes a keyboard of its own, and a key pressed
        # while sway hands that one the focus can come with the focus rather than
        # as a press, so the first keys may be lost. Of the six characters there
        # two taps take two at most; the rest go by one BackSpace held,
        # repeating (sway's delay 600 ms, 25 a second).
        subprocess.run(["wtype", "-k", "BackSpace", "-k", "BackSpace", "-P", "BackSpace", "-s", "1200", "-p",
                        "BackSpace", "ff0000", "-k", "Return"], env=env, check=True, timeout=10)
        wait_for_picture(env, runtime, lambda p: p.getpixel((450, 90)) == (255, 0, 0), "typing reached no field")
        click(pointer, 512, 454)  # its Cancel button
        wait_for_picture(env, runtime, lambda p: not grey(p), "the dialog stayed")

        # The overlay, clicked, has the keyboard: keypad / makes the next stock
        # pen current, and the white frame moves from the first tile to the second.
        subprocess.run(["wtype", "-k", "Shift_L", "-k", "KP_Divide"], env=env, check=True, timeout=10)
        framed = lambda p, x: any(p.getpixel((x + d, 64)) == (255, 255, 255) for d in range(-1, 3))
        wait_for_picture(env, runtime, lambda p: framed(p, 575) and not framed(p, 505), "keypad / did nothing")

        program.terminate()
        assert program.wait(timeout=20) == 0
        assert os.path.exists(setup_path(home))


@pytest.mark.parametrize("session", [2, 1.5], indirect=True, ids=["scale 2", "scale 1.5"])
def test_program_at_output_scale(session, request):
    """On an output of scale above 1 the corner buttons and the column are
    where they belong and of their size, a click on a corner button is taken
    there, and a stroke lies where the pointer went."""
    start, env, runtime = session
    window = start("window")
    window.wait_for("window ")
    pointer = pointer_first(start)
    with program_on(env, runtime) as (program, _, _):
        picture = wait_for_column(env, runtime, program)
        # grim takes the output's own pixels: the check below is in them, not in logical ones.
        assert picture.scale == request.node.callspec.params["session"]
        # The column's left and top edges, 140 wide below the 30 high corner buttons.
        edges = {(WIDTH - 144, 200): True, (WIDTH - 136, 200): False, (WIDTH - 100, 26): True,
                 (WIDTH - 100, 34): False, (WIDTH - 64, 15): True}
        assert {xy: picture.getpixel(xy) == GREEN for xy in edges} == edges

        move_until(pointer, window, 200, 100, "window enter")
        corner = (WIDTH - 80, 0, WIDTH, 30)
        before = picture.crop(corner).tobytes()
        # The pointer's picture over the window, drawing off (grim shows it).
        spot = (200, 100, 240, 140)
        arrow = pointer_marks(screenshot(env, runtime).crop(spot))
        click(pointer, WIDTH - 45, 15)  # the drawing switch, left of the two
        pointer.send(f"move 100 100 {WIDTH} {HEIGHT}")  # grim shows the pointer: not in the corner
        pointer.wait_for("ok")
        wait_for_picture(env, runtime, lambda p: p.crop(corner).tobytes() != before, "drawing not switched on",
                         program)
        y = HEIGHT // 2
        drag(pointer, [(x, y) for x in range(100, 301, 20)])
        picture = wait_for_picture(env, runtime, lambda p: sum(not_window(p.getpixel((x, y)))
                                                               for x in range(120, 281, 10)) >= 15, "no stroke drawn")
        # Above and below it the window, through the drawing surface's nearly transparent fill.
        # There again, drawing on: the program's own picture, the pen's, at the output's scale.
        pointer.send(f"move 200 100 {WIDTH} {HEIGHT}")
        # The pen reaches further down than any theme's picture of 24 pixels.
        pen = lambda marks: any(y >= 26 * picture.scale for _, y in marks) and marks != arrow
        wait_for_picture(env, runtime, lambda p: pen(pointer_marks(p.crop(spot))), "the pointer's picture is not the pen's")
        assert all(max(abs(a - b) for a, b in zip(picture.getpixel((x, y + d)), GREEN)) <= 2
                   for x in range(120, 281, 40) for d in (-20, 20))


@pytest.mark.parametrize("session", ["two outputs"], indirect=True)
@pytest.mark.parametrize("scales", [(2, 1), (1, 2)], ids=["main at 2", "main at 1"])
def test_all_screens_on_two_outputs(session, scales):
    """The overlay on the output the compositor chose (the focused second
    one); with "All screens" on, the first output, at another scale, has a
    drawing surface of its own, clear with drawing off, where a stroke drawn
    shows; Save writes both outputs, each in its own device pixels with its
    stroke and without the controls; with drawing off again the main
    surface still takes clicks."""
    start, env, runtime = session
    window = start("window")  # on the first output
    window.wait_for("window ")
    ipc = next(n for n in os.listdir(runtime) if n.startswith("sway-ipc."))
    main, other = scales
    for command in (f"output HEADLESS-2 mode {main * WIDTH}x{main * HEIGHT} scale {main}",
                    f"output HEADLESS-1 mode {other * WIDTH}x{other * HEIGHT} scale {other}", "focus output HEADLESS-2"):
        subprocess.run(["swaymsg", "-s", os.path.join(runtime, ipc), command], env=env, check=True, timeout=10,
                       capture_output=True)
    pointer = pointer_first(start)
    with program_on(env, runtime, "[Display]\nisAllScreens=1\n") as (program, program_env, home):
        picture = wait_for_column(env, runtime, program, right=2 * WIDTH, below=(0, 0, 192))
        assert picture.image.size == (4 * WIDTH, 2 * HEIGHT)  # grim: both at the larger scale, 2
        assert all(picture.getpixel((x, y)) == GREEN for x in range(10, WIDTH, 50) for y in range(10, HEIGHT, 50))
        corner = (2 * WIDTH - 80, 0, 2 * WIDTH, 30)
        off = picture.crop(corner).tobytes()
        move_until(pointer, window, 50, 50, "window enter")  # in half the width: on the first output
        assert subprocess.run([os.environ["KORIVAN_PROGRAM"], "--toggle"], env=program_env, timeout=20).returncode == 0
        wait_for_picture(env, runtime, lambda p: p.crop(corner).tobytes() != off, "drawing not switched on", program)
        y = HEIGHT // 2
        drag(pointer, [(x, y) for x in range(100, 301, 20)], width=2 * WIDTH)
        # (Not the drawing surface's nearly transparent fill.)
        wait_for_picture(env, runtime, lambda p: sum(max(abs(a - b) for a, b in zip(p.getpixel((x, y)), GREEN)) > 60
                                                     for x in range(120, 281, 10)) >= 15,
                         "no stroke on the first output", program)
        # Both surfaces on one connection, whose pointer shows the picture of
        # the surface it is on: the pen's on each (reaching further down
        # than any theme's picture of 24 pixels).
        for x0, below in ((0, GREEN), (WIDTH, (0, 0, 192)), (0, GREEN)):
            pointer.send(f"move {x0 + 200} 100 {2 * WIDTH} {HEIGHT}")
            pointer.wait_for("ok")
            pointer.seen.clear()
            spot = (x0 + 200, 100, x0 + 240, 140)
            wait_for_picture(env, runtime, lambda p: any(v >= 26 * p.scale for _, v in
                                                         pointer_marks(p.crop(spot), below)),
                             f"not the pen's picture on the output at {x0}", program)
        assert compositor_connections(env, runtime, program.pid) == 1
        # One on the main surface's output too, higher up.
        drag(pointer, [(WIDTH + x, y // 2) for x in range(100, 301, 20)], width=2 * WIDTH)
        wait_for_picture(env, runtime, lambda p: sum(p.getpixel((WIDTH + x, y // 2)) != (0, 0, 192)
                                                     for x in range(120, 281, 10)) >= 15,
                         "no stroke on the second output", program)
        pointer.send(f"move {WIDTH + 20} 20 {2 * WIDTH} {HEIGHT}")  # the headless output draws the pointer in
        pointer.wait_for("ok")
        pointer.seen.clear()
        # The program lays the main surface's output first, the other to its
        # right, each in its device pixels; black below the one of scale 1.
        saved = save(program_env, os.path.join(home, "shots"), program)
        assert saved.size == (3 * WIDTH, 2 * HEIGHT)
        for x0, scale, stroke_y, around in ((0, main, y // 2, (0, 0, 192)), (main * WIDTH, other, y, GREEN)):
            at = lambda x, v: saved.getpixel((x0 + scale * x, scale * v))
            assert sum(not near(at(x, stroke_y), around) for x in range(120, 281, 10)) >= 15, f"no stroke at {x0}"
            assert all(near(at(x, stroke_y + dy), around) for x in range(120, 281, 10) for dy in (-12, 12))
            if scale == 1:
                assert all(saved.getpixel((x0 + x, v)) == (0, 0, 0) for x in range(0, WIDTH, 20)
                           for v in range(HEIGHT, 2 * HEIGHT, 20))
        controls = [(x, v) for x in range(main * (WIDTH - 140), main * WIDTH, 3) for v in range(0, main * HEIGHT, 3)]
        assert all(near(saved.getpixel(xy), (0, 0, 192)) for xy in controls), "controls in the picture"
        # Drawing off again, the first output's surface lets every click
        # through and the main one still takes them on its column.
        assert subprocess.run([os.environ["KORIVAN_PROGRAM"], "--toggle"], env=program_env, timeout=20).returncode == 0
        wait_for_picture(env, runtime, lambda p: p.crop(corner).tobytes() == off, "drawing not switched off", program)
        window.seen.clear()
        click(pointer, 200, 100, width=2 * WIDTH)
        window.wait_for("window press")
        click(pointer, 2 * WIDTH - 45, 15, width=2 * WIDTH)
        pointer.send(f"move 100 100 {2 * WIDTH} {HEIGHT}")
        pointer.wait_for("ok")
        wait_for_picture(env, runtime, lambda p: p.crop(corner).tobytes() != off, "the drawing switch took no click",
                         program)


@pytest.mark.parametrize("session", ["1280x720"], indirect=True)
def test_dialog_list_beyond_800_pixels(session):
    """On a surface wider than the toolkit's own offscreen screen (800x600),
    a dialog's drop-down list opens over its box rather than pushed left."""
    start, env, runtime = session
    window = start("window")
    window.wait_for("window ")
    size = (1280, 720)  # pictures and pointer in its pixels
    pointer = pointer_first(start)
    with program_on(env, runtime) as (program, _, _):
        wait_for_picture(env, runtime, lambda p: not_window(p.image.getpixel((1245, 485))), "no column seen", program)
        move_until(pointer, window, 150, 100, "window enter")
        click(pointer, 1245, 485, *size)  # the Setup tile
        wait_for_picture(env, runtime, lambda p: all(230 < v < 245 for v in p.image.getpixel((645, 570))),
                         "no dialog seen", program)  # its grey between its buttons
        click(pointer, 768, 172, *size)  # the pen type box, reaching past x 800
        highlight = (48, 140, 198)  # the list's current entry
        wait_for_picture(env, runtime, lambda p: all(p.image.getpixel((x, 165)) == highlight for x in (780, 850)),
                         "the list is not over its box", program)


BUS_CONFIG = """<busconfig><type>session</type><listen>unix:tmpdir={}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
</policy></busconfig>"""


def test_save_through_the_portal_else_a_clear_error(session):
    """With the compositor's screen copy left unused, Save asks the desktop's
    Screenshot portal (a stand-in on a bus of the test's own); with no portal
    either, nothing is written and the user is told. The Close tile ends
    the program cleanly."""
    if not shutil.which("dbus-daemon"):
        pytest.skip("not installed: dbus-daemon (scripts/packages/wayland.txt)")
    start, env, runtime = session
    folder = tempfile.mkdtemp(prefix="korivan-bus-")
    with open(os.path.join(folder, "bus.conf"), "w") as f:
        f.write(BUS_CONFIG.format(folder))
    bus = subprocess.Popen(["dbus-daemon", "--config-file", os.path.join(folder, "bus.conf"), "--nofork",
                            "--print-address=1"], stdout=subprocess.PIPE, text=True)
    try:
        address = bus.stdout.readline().strip()
        portal = start(([os.environ["KORIVAN_FAKE_PORTAL"], folder], dict(env, DBUS_SESSION_BUS_ADDRESS=address)))
        portal.wait_for("ready")
        window = start("window")
        window.wait_for("window ")
        pointer = pointer_first(start)
        with program_on(env, runtime, DBUS_SESSION_BUS_ADDRESS=address, KORIVAN_NO_SCREENCOPY="1") as launched:
            proc, program_env, home = launched
            saves_through_the_portal_else_a_clear_error(env, runtime, portal, window, pointer, proc, program_env, home)
        # The picture the portal wrote for the save was read and removed: the user has only the program's.
        assert not [n for n in os.listdir(folder) if n.endswith(".png")]
    finally:
        bus.terminate()
        bus.wait(timeout=10)
        shutil.rmtree(folder, ignore_errors=True)


def saves_through_the_portal_else_a_clear_error(env, runtime, portal, window, pointer, proc, program_env, home):
    shots = os.path.join(home, "shots")
    picture = wait_for_column(env, runtime, proc)
    move_until(pointer, window, WIDTH // 3, HEIGHT // 2, "window enter")
    draw_stroke(env, runtime, program_env, pointer, window, picture, HEIGHT // 3)
    pointer.send(f"move 20 20 {WIDTH} {HEIGHT}")
    pointer.wait_for("ok")
    pointer.seen.clear()
    assert_saved_screen(save(program_env, shots, proc), HEIGHT // 3)
    # Only the whole screen is asked for, not the save's looks at parts of it.
    assert [l for l in portal.all() if l.startswith("screenshot")] == ["screenshot interactive=0 taken=1"]

    portal.close()
    written = {n: os.stat(os.path.join(shots, n)).st_mtime_ns for n in os.listdir(shots)}
    assert subprocess.run([os.environ["KORIVAN_PROGRAM"], "--save"], env=program_env, timeout=20).returncode == 0
    # The error box (its text names both missing ways, seen by eye); nothing is written after it.
    box = lambda p: sum(near(v, (239, 239, 239)) for v in p.crop((60, 200, 450, 350)).getdata()) > 390 * 150 // 2
    shown = wait_for_picture(env, runtime, box, "no error shown", proc)
    assert {n: os.stat(os.path.join(shots, n)).st_mtime_ns for n in os.listdir(shots)} == written

    # The box's OK, 22 pixels above its bottom edge: the box's height follows
    # the wrapped text, and its first frame may come before its last layout,
    # so a click that closed nothing is aimed again from a newer picture.
    for attempt in range(3):
        bottom = max(y for y in range(HEIGHT) if near(shown.getpixel((375, y)), (239, 239, 239)))
        click(pointer, 375, bottom - 22)
        try:
            wait_for_picture(env, runtime, lambda p: not box(p), "the error box stayed", proc, timeout=5)
            break
        except AssertionError:
            if attempt == 2:
                raise
            shown = screenshot(env, runtime)
            if not box(shown):
                break
    click(pointer, 605, 415)  # the Close tile
    assert proc.wait(timeout=20) == 0
    with open(setup_path(home)) as f:
        assert "ImageJPEGQuality" in f.read()  # written back, not only the one given


def launcher_tile(i):
    """The factory launcher's entry i (six to a row) on the launcher centred on the surface."""
    return (WIDTH - 500) // 2 + 70 * (i % 6) + 35, (HEIGHT - 350) // 2 + 70 * (i // 6) + 35


def test_launcher_save_as_and_erase_all(session):
    """The launcher's Save As: the file dialog above the overlay takes a typed
    name, and Enter writes that file with the stroke and without the
    controls. Then the launcher's Erase All takes the stroke away."""
    start, env, runtime = session
    window = start("window")
    window.wait_for("window ")
    pointer = pointer_first(start)
    with program_on(env, runtime) as (program, program_env, home):
        picture = wait_for_column(env, runtime, program)
        move_until(pointer, window, WIDTH // 3, HEIGHT // 2, "window enter")
        y = HEIGHT - 20  # below the launcher and the file dialog
        draw_stroke(env, runtime, program_env, pointer, window, picture, y)
        dark = lambda p: sum(v == (0x1F, 0x1F, 0x1F) for v in p.crop((110, 105, 530, 375)).getdata()) > 420 * 270 // 4
        click(pointer, 605, 345)  # the column's "Menu ..." tile
        wait_for_picture(env, runtime, dark, "no launcher seen", program)
        click(pointer, *launcher_tile(1))  # Save As
        # Its list of files, white, over most of the surface.
        dialog = lambda p: sum(v == (255, 255, 255) for v in p.crop((120, 100, 600, 370)).getdata()) > 480 * 270 // 2
        wait_for_picture(env, runtime, dialog, "no file dialog seen", program)
        pointer.send(f"move 20 20 {WIDTH} {HEIGHT}")  # the headless output draws the pointer in
        pointer.wait_for("ok")
        pointer.seen.clear()
        # The name field has the keyboard, its proposed name selected: typing
        # replaces it. BackSpace first, as a fresh keyboard's first two keys
        # may be lost (see the Setup dialog above).
        subprocess.run(["wtype", "-k", "BackSpace", "-k", "BackSpace", "-k", "BackSpace", "marked", "-k", "Return"],
                       env=env, check=True, timeout=10)
        saved = written(os.path.join(home, "shots"), program, "marked.png")
        assert_saved_screen(saved, y)
        # Neither the launcher nor the dialog, where they lay.
        assert all(near(saved.getpixel((x, v)), GREEN) for x in range(20, 500, 20) for v in range(60, 440, 20))

        click(pointer, 605, 345)
        wait_for_picture(env, runtime, dark, "no launcher seen the second time", program)
        at = launcher_tile(5)
        click(pointer, *at)  # Erase All
        wait_for_picture(env, runtime, lambda p: all(near(p.getpixel((x, y)), GREEN) for x in range(120, 281, 10))
                         and not dark(p), "the stroke stayed", program)
        # The launcher gone from under the resting pointer, its picture is the
        # pen's (reaching further down than a theme's 24 pixels), not the tile's.
        pen = lambda p: any(v >= 26 for _, v in pointer_marks(p.crop((at[0], at[1], at[0] + 40, at[1] + 40))))
        wait_for_picture(env, runtime, pen, "the pointer's picture is still the launcher's", program)


LASER_COLUMN = ("[Menu]\nCount=3\n"
                "PenType0=pwPn\nPenColor0=255\nPenThickness0=6\nPenDash0=0\n"
                "PenType1=pwLaser\nPenColor1=16711680\nPenThickness1=10\nPenDash1=0\n"
                "PenType2=pwUndo\nPenColor2=16777215\nPenThickness2=1\nPenDash2=0\n")


def click_tile(env, runtime, pointer, index):
    """A tile of the column, shown again first when it hid itself after the
    pointer left it."""
    at = (WIDTH - 140 + (index % 2) * 70 + 35, 30 + (index // 2) * 70 + 35)
    pointer.send(f"move {at[0]} {at[1]} {WIDTH} {HEIGHT}")
    pointer.wait_for("ok")
    pointer.seen.clear()
    time.sleep(0.2)
    if not not_window(screenshot(env, runtime).getpixel(at)):
        click(pointer, WIDTH - 15, 15)  # the column's switch
        wait_for_picture(env, runtime, lambda p: not_window(p.getpixel(at)), "the column did not show")
    click(pointer, *at)


def test_laser_fades_and_leaves_nothing_to_undo(session):
    """The laser pen from a tile: its trail shows at once, is gone 2 s later,
    and Undo after it takes back the pen stroke drawn before it."""
    start, env, runtime = session
    window = start("window")
    window.wait_for("window ")
    pointer = pointer_first(start)
    with program_on(env, runtime, LASER_COLUMN) as (program, program_env, home):
        picture = wait_for_column(env, runtime, program)
        move_until(pointer, window, WIDTH // 3, HEIGHT // 2, "window enter")
        pen_y, laser_y = HEIGHT // 3, 2 * HEIGHT // 3
        draw_stroke(env, runtime, program_env, pointer, window, picture, pen_y)
        click_tile(env, runtime, pointer, 1)
        drag(pointer, [(x, laser_y) for x in range(100, 301, 10)])
        # At once: within a second, well inside the trail's fade.
        shot = wait_for_picture(env, runtime, lambda p: stroke_at(p, laser_y), "no laser trail at once", program,
                                timeout=1)
        reds = [shot.getpixel((x, laser_y)) for x in range(200, 281, 10)]
        assert all(r > 180 and g < 120 and b < 120 for r, g, b in reds), f"the trail is not red: {reds}"
        pointer.send(f"move 20 20 {WIDTH} {HEIGHT}")  # the headless output draws the pointer in
        pointer.wait_for("ok")
        pointer.seen.clear()
        time.sleep(2.0)
        shot = screenshot(env, runtime)
        left = [(x, laser_y + dy) for x in range(90, 320, 5) for dy in (-6, 0, 6)
                if not_window(shot.getpixel((x, laser_y + dy)))]
        assert not left, f"the laser trail stayed at {left[:5]}"
        assert stroke_at(shot, pen_y), "the pen stroke went with the laser"
        click_tile(env, runtime, pointer, 2)
        wait_for_picture(env, runtime, lambda p: not stroke_at(p, pen_y), "Undo did not take back the pen stroke",
                         program)
