"""What the soak's user does. Each action is a function of the run (`Soak`)
and its random source, registered with a weight; it acts, then waits for the
effect a user would see and raises `Fault` when that does not come within
the bound. A new kind of action is one more function with @action."""

import math
import time

from conftest import (CLOSE, ERASE_ALL, ERASER, INFO, PEN_SETUP, REDO, SAVE, SETUP, SETUP_CANCEL,
                      SETUP_OK, UNDO, GREEN_TILE, near, setup_dialog, tile_centre, windows_titled)

ACTIONS = {}  # name -> (weight, function)


class Fault(Exception):
    """The program did not do what the user asked, or did something wrong."""


def action(weight):
    def register(fn):
        ACTIONS[fn.__name__] = (weight, fn)
        return fn
    return register


EXTENSIONS = {1: "jpg", 2: "png", 3: "bmp", 4: "tga", 5: "psd"}
PEN, ERASING, LASSO, UNKNOWN = "pen", "eraser", "lasso", "unknown"
# Launcher entries, factory order.
L_SAVE, L_SAVE_AS, L_UNDO, L_REDO, L_ERASER, L_ERASE_ALL, L_LASSO, L_PEN_SETUP = range(8)
L_STOCK0, L_INFO = 8, 28  # the shape tools, the spotlight and the laser between them


def launcher_origin(s):
    return ((s.width - 500) // 2, (s.height - 350) // 2)


def chooser_origin(s):
    return ((s.width - 680) // 2, (s.height - 430) // 2)


def launcher_tile(s, i):
    return tile_centre(launcher_origin(s), 70 * (i % 6) + 5, 70 * (i // 6) + 5)


# -- strokes ---------------------------------------------------------------

def random_path(soak, rng):
    """A wandering path inside the canvas, at least 6 points long."""
    x0, y0, x1, y1 = soak.canvas()
    n = rng.choice([rng.randint(6, 15), rng.randint(15, 60), rng.randint(60, 150)])
    step = rng.choice([3, 6, 12, 25])
    x, y = rng.randint(x0, x1), rng.randint(y0, y1)
    heading = rng.uniform(0, 2 * math.pi)
    path = [(x, y)]
    for _ in range(n - 1):
        heading += rng.uniform(-0.6, 0.6)
        nx, ny = x + step * math.cos(heading), y + step * math.sin(heading)
        if not (x0 <= nx <= x1 and y0 <= ny <= y1):
            heading += math.pi
            nx, ny = x + step * math.cos(heading), y + step * math.sin(heading)
        x, y = int(min(max(nx, x0), x1)), int(min(max(ny, y0), y1))
        path.append((x, y))
    return path


def along(path):
    """The pixels of the polyline through path, one per step along it."""
    out = [path[0]]
    for (x0, y0), (x1, y1) in zip(path, path[1:]):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        out += [(x0 + (x1 - x0) * i // n, y0 + (y1 - y0) * i // n) for i in range(1, n + 1)]
    return out


def drag(soak, rng, path):
    """Presses, moves along the path fast or slowly, releases."""
    args = ["mousemove", *path[0], "mousedown", 1]
    pause = rng.choice([0, 0, 0.002, 0.02])
    for x, y in path[1:]:
        args += ["mousemove", x, y]
        if pause:
            args += ["sleep", pause]
    args += ["mouseup", 1]
    soak.session.xdotool(*args)


def ensure_drawing_tool(soak, rng):
    """A pen or the eraser current, drawing on: a stock pen tile when unsure."""
    if soak.tool in (PEN, ERASING) and soak.drawing:
        return
    soak.click_tile(rng.randint(0, 4))
    soak.tool, soak.drawing = PEN, True
    soak.expect(soak.overlay.drawing, "a stock pen tile did not switch drawing on")


@action(30)
def stroke(soak, rng):
    ensure_drawing_tool(soak, rng)
    path = random_path(soak, rng)
    before = soak.shot()
    drag(soak, rng, path)
    soak.kind(f"stroke-{soak.tool}")
    bg = soak.bg
    if soak.tool == ERASING:
        # The eraser clears the pen layer under its centre line.
        soak.expect(lambda: all(near(soak.shot().getpixel(p), bg) for p in path), "the eraser left strokes on its path")
        return
    # Every pixel along the line, not only the event points: a thin dotted
    # pen may leave all of a short stroke's points in its gaps.
    line = along(path)
    fresh = [p for p in line if near(before.getpixel(p), bg)]

    def drawn():
        shot = soak.shot()
        return any(not near(shot.getpixel(p), bg) for p in (fresh or line))
    soak.expect(drawn, "the stroke does not show")


@action(4)
def eraser_tile(soak, rng):
    was = soak.tool
    soak.click_tile(ERASER)
    soak.tool = PEN if was == ERASING else ERASING if was in (PEN, LASSO) else UNKNOWN
    soak.drawing = True
    soak.expect(soak.overlay.drawing, "the eraser tile did not switch drawing on")


@action(6)
def stock_pen_tile(soak, rng):
    soak.click_tile(rng.randint(0, 4))
    soak.tool, soak.drawing = PEN, True
    soak.expect(soak.overlay.drawing, "a stock pen tile did not switch drawing on")


@action(5)
def undo_redo(soak, rng):
    """A stroke, a burst of undos, then as many redos: the screen is as
    after the stroke (which left nothing to redo beyond the burst)."""
    stroke(soak, rng)
    # A change of smoothing shows on the older strokes only once the layer is
    # drawn again, which the first undo does: one pair before looking.
    soak.click_tile(UNDO)
    soak.click_tile(REDO)
    before = soak.settled_shot()
    k = rng.randint(1, 6)
    for tile in [UNDO] * k + [REDO] * k:
        soak.click_tile(tile)
    box = soak.canvas_box()
    try:
        soak.expect(lambda: soak.same(soak.shot(), before, box), f"{k} undos and {k} redos did not give back the screen")
    except Fault:
        before.save(soak.session.tmp / "screen-for-undo-redo.png")
        raise


@action(3)
def undo_burst(soak, rng):
    for _ in range(rng.randint(1, 8)):
        soak.click_tile(rng.choice([UNDO, UNDO, REDO]))
    soak.settled_shot()


@action(2)
def erase_all(soak, rng):
    soak.click_tile(ERASE_ALL)
    soak.expect(lambda: soak.blank(soak.shot()), "Erase All left strokes")


@action(4)
def drawing_switch(soak, rng):
    by_key = rng.random() < 0.5
    if by_key:
        soak.session.key("KP_Multiply")
    else:
        soak.session.click(*soak.overlay.write_rect)
    soak.drawing = not soak.drawing
    probe = soak.overlay.drawing if soak.drawing else soak.overlay.passing
    soak.expect(probe, f"{'multiply' if by_key else 'the drawing switch'} did not switch drawing "
                       f"{'on' if soak.drawing else 'off'}")


@action(3)
def column_switch(soak, rng):
    s = soak.session
    s.xdotool("mousemove", *soak.overlay.mode_rect)
    # The column hides itself half a second after the pointer left it.
    was = stable(lambda: soak.overlay.column_shown(), 1.0)
    s.click(*soak.overlay.mode_rect)
    soak.expect(lambda: soak.overlay.column_shown() != was, "the column switch did nothing")


def stable(probe, quiet):
    """The probe's value once it has not changed for `quiet` seconds."""
    value, since = probe(), time.monotonic()
    while time.monotonic() - since < quiet:
        now = probe()
        if now != value:
            value, since = now, time.monotonic()
        time.sleep(0.1)
    return value


@action(5)
def keypad(soak, rng):
    """A hot key; the keys but multiply reach the program only while it has the keyboard."""
    key = rng.choice(["KP_Add", "KP_Subtract", "KP_Divide"])
    focus = soak.session.run("xdotool", "getwindowfocus", check=False).stdout.strip()
    owns = focus.isdigit() and int(focus) == soak.overlay.window
    if key == "KP_Add":
        return soak.save(lambda: soak.session.key(key), expect=owns, how="KP_Add")
    soak.session.key(key)
    soak.kind(f"keypad-{key}{'' if owns else '-elsewhere'}")
    if not owns:
        soak.tool = UNKNOWN if key == "KP_Divide" else soak.tool
        return
    if key == "KP_Subtract":
        soak.expect(lambda: soak.blank(soak.shot()), "keypad minus left strokes")
    else:
        # The next stock pen: nothing to see until it draws.
        soak.tool = PEN


@action(4)
def save_tile(soak, rng):
    soak.save(lambda: soak.click_tile(SAVE), expect=True, how="Save tile")


@action(4)
def save_as(soak, rng):
    kind = rng.randint(1, 5)
    soak.counter += 1
    target = soak.save_as_dir / f"sa{soak.counter}"
    soak.save(lambda: soak.save_as_dialog(kind, target), expect=True, how=f"Save As {EXTENSIONS[kind]}",
              path=target.with_suffix("." + EXTENSIONS[kind]))


@action(2)
def save_as_refused(soak, rng):
    """Save As over a file in a folder that cannot be written: an error, the old file as it was."""
    if not soak.locked:
        return
    kind = rng.randint(1, 5)
    target = soak.locked / f"keep.{EXTENSIONS[kind]}"
    before = {p.name: p.read_bytes() for p in soak.locked.iterdir()}
    known = set(soak.visible_titled("KORIVAN D"))
    soak.open_launcher()
    soak.session.click(*launcher_tile(soak.session, L_SAVE_AS))
    soak.fill_save_as(kind, target.with_suffix(""), confirm_replace=True)
    soak.close_message("the refused save", known)
    soak.notice_gone = time.monotonic() + 2.5
    after = {p.name: p.read_bytes() for p in soak.locked.iterdir()}
    if after != before:
        raise Fault(f"a failed save changed the folder: {sorted(set(after) ^ set(before)) or target.name}")
    soak.kind(f"save-refused-{EXTENSIONS[kind]}")


@action(4)
def pen_chooser(soak, rng):
    soak.click_tile(PEN_SETUP)
    s = soak.session
    origin = chooser_origin(s)
    ok, cancel = tile_centre(origin, 615, 5), tile_centre(origin, 615, 75)
    soak.expect(lambda: near(s.pixel(*ok), GREEN_TILE), "the pen chooser did not show")
    for _ in range(rng.randint(0, 8)):
        x, y = rng.randint(5, 600), rng.randint(5, 345)
        s.click(origin[0] + x, origin[1] + y)
    end = rng.choice(["ok", "cancel", "escape"])
    if end == "escape":
        s.key("Escape")
    else:
        s.click(*(ok if end == "ok" else cancel))
    soak.expect(lambda: not near(s.pixel(*ok), GREEN_TILE), f"{end} did not close the pen chooser")
    soak.tool = PEN if end == "ok" or soak.tool == PEN else UNKNOWN
    soak.drawing = True
    soak.expect(soak.overlay.drawing, "drawing is not on after the pen chooser")
    soak.kind(f"chooser-{end}")


@action(3)
def launcher(soak, rng):
    """The launcher: one of its entries, its Close tile or Escape."""
    soak.open_launcher()
    s = soak.session
    choice = rng.choice(["close", "escape", "undo", "redo", "eraser", "stock", "info", "erase-all"])
    if choice == "close":
        s.click(*tile_centre(launcher_origin(s), 435, 5))
    elif choice == "escape":
        s.key("Escape")
    if choice in ("close", "escape"):
        soak.expect(soak.launcher_closed, f"{choice} did not close the launcher")
    elif choice == "stock":
        s.click(*launcher_tile(s, L_STOCK0 + rng.randint(0, 9)))
        soak.tool, soak.drawing = PEN, True
        soak.expect(soak.overlay.drawing, "a stock pen from the launcher did not switch drawing on")
    elif choice == "eraser":
        was = soak.tool
        s.click(*launcher_tile(s, L_ERASER))
        soak.tool = PEN if was == ERASING else ERASING if was in (PEN, LASSO) else UNKNOWN
        soak.drawing = True
        soak.expect(soak.overlay.drawing, "the eraser from the launcher did not switch drawing on")
    elif choice == "info":
        s.click(*launcher_tile(s, L_INFO))
        about = soak.expect(lambda: windows_titled(s, "About This Application"), "no about box")
        soak.expect(lambda: s.active_window() == about[0], "the about box does not have the keyboard")
        s.key(rng.choice(["Return", "Escape"]))
        soak.expect(lambda: not windows_titled(s, "About This Application"), "the about box stays")
    elif choice == "erase-all":
        s.click(*launcher_tile(s, L_ERASE_ALL))
        soak.expect(lambda: soak.blank(soak.shot()), "Erase All from the launcher left strokes")
    else:
        s.click(*launcher_tile(s, L_UNDO if choice == "undo" else L_REDO))
        soak.expect(soak.launcher_closed, "the launcher stayed")
    soak.kind(f"launcher-{choice}")


@action(3)
def info_tile(soak, rng):
    s = soak.session
    soak.click_tile(INFO)
    about = soak.expect(lambda: windows_titled(s, "About This Application"), "no about box")
    soak.expect(lambda: s.active_window() == about[0], "the about box does not have the keyboard")
    s.key(rng.choice(["Return", "Escape"]))
    soak.expect(lambda: not windows_titled(s, "About This Application"), "the about box stays")


@action(3)
def lasso_move(soak, rng):
    """A stroke of a stock pen, a loop around it, and a drag that moves it."""
    if soak.tool != PEN or not soak.drawing:
        soak.click_tile(rng.randint(0, 4))
        soak.tool, soak.drawing = PEN, True
        soak.expect(soak.overlay.drawing, "a stock pen tile did not switch drawing on")
    x0, y0, x1, y1 = soak.canvas()
    dx, dy = rng.randint(-200, 200), rng.randint(-150, 150)
    sx = rng.randint(max(x0, x0 - dx) + 40, min(x1, x1 - dx) - 200)
    sy = rng.randint(max(y0, y0 - dy) + 40, min(y1, y1 - dy) - 40)
    line = [(sx + 10 * i, sy) for i in range(16)]
    drag(soak, rng, line)
    soak.expect(lambda: any(not near(soak.shot().getpixel(p), soak.bg) for p in line), "the stroke to move does not show")
    soak.open_launcher()
    soak.session.click(*launcher_tile(soak.session, L_LASSO))
    soak.expect(soak.launcher_closed, "Lasso did not close the launcher")
    soak.tool = LASSO
    left, right, top, bottom = sx - 25, sx + 175, sy - 25, sy + 25
    loop = ([(x, top) for x in range(left, right + 1, 20)] + [(right, bottom)]
            + [(x, bottom) for x in range(right, left - 1, -20)] + [(left, top)])
    drag(soak, rng, loop)
    before = soak.settled_shot()
    steps = 10
    drag(soak, rng, [(sx + 75 + dx * k // steps, sy + dy * k // steps) for k in range(steps + 1)])
    moved = [(x + dx, y + dy) for x, y in line]
    fresh = [p for p in moved if near(before.getpixel(p), soak.bg)] or moved
    soak.expect(lambda: any(not near(soak.shot().getpixel(p), soak.bg) for p in fresh), "the lasso did not move the stroke")
    # A selection shows in black, which no saved picture holds: the user
    # goes back to a pen, and that ends it.
    soak.click_tile(rng.randint(0, 4))
    soak.tool = PEN
    soak.kind("lasso-move")


@action(3)
def settings(soak, rng):
    soak.click_tile(SETUP)
    s = soak.session
    at = soak.expect(lambda: setup_dialog(s), "the settings dialog did not open")
    pending = {}
    for _ in range(rng.randint(1, 4)):
        page = rng.choice(["stock", "file", "detailed", "presets", "shortcut"])
        tab = "detailed" if page == "shortcut" else page
        soak.click_in(at, (44 + 80 * ["stock", "toolbar", "presets", "file", "detailed"].index(tab), 18))
        if page == "stock":
            t = rng.randint(0, 9)
            soak.click_in(at, (7 + (73 if t < 5 else 203), 27 + 42 + 60 * (t % 5)))
            if rng.random() < 0.5:
                colour = soak.random_colour(rng)
                soak.type_in(at, (7 + 336, 27 + 267), f"{colour:06x}")
                pending[("Mark", f"PenColor{t}")] = str(colour)
            else:
                # Clicks in the colour square and the hue bar and on the
                # width's arrows: a colour the run does not know any more.
                for _ in range(rng.randint(1, 4)):
                    soak.click_in(at, rng.choice([(7 + rng.randint(282, 415), 27 + rng.randint(115, 244)),
                                                  (7 + rng.randint(434, 455), 27 + rng.randint(115, 244)),
                                                  (7 + 447, 27 + rng.choice([300, 320]))]))
                pending[("Mark", f"PenColor{t}")] = None
        elif page == "presets":
            t = rng.randint(0, 9)
            soak.click_in(at, (7 + (38 if t < 5 else 108), 27 + 70 + 60 * (t % 5)))
            soak.type_in(at, (7 + 204, 27 + 251), f"{soak.random_colour(rng):06x}")
        elif page == "file":
            kind = rng.randint(1, 5)
            soak.click_in(at, (7 + 88, 27 + 52 + 56 * (kind - 1)))
            pending[("Setup", "ImageTypeDefault")] = str(kind)
        elif page == "shortcut":
            from commands import setup_shortcut
            setup_shortcut(soak, rng, at, pending)
        else:
            soak.click_in(at, (7 + 399, 27 + 28))
            key = ("Pen", "isSmoothing")
            pending[key] = "0" if pending.get(key, soak.ini[key]) == "1" else "1"
    end = rng.choice(["ok", "cancel", "escape"])
    if end == "escape" and any(section == "HotKeys" for section, _ in pending):
        end = "cancel"  # a shortcut field would take Escape as its chord
    if end == "escape":
        s.key("Escape")
    else:
        soak.click_in(at, SETUP_OK if end == "ok" else SETUP_CANCEL)
    soak.expect(lambda: setup_dialog(s) is None, f"{end} did not close the settings dialog")
    if end == "ok":
        for key, value in pending.items():
            if value is None:
                soak.ini.pop(key, None)
            else:
                soak.ini[key] = value
        soak.image_type = int(soak.ini[("Setup", "ImageTypeDefault")])
    soak.kind(f"settings-{end}")


@action(2)
def resize(soak, rng):
    from session import MODES
    s = soak.session
    if not s.can_resize:
        return
    w, h = rng.choice([m for m in MODES if m != (s.width, s.height)])
    s.resize(w, h)
    soak.overlay.write_rect, soak.overlay.mode_rect = (w - 45, 15), (w - 15, 15)
    soak.expect(lambda: [x for x in s.windows_named("KORIVAN D") if x[1:] == (w, h)],
                f"the overlay did not follow the screen to {w}x{h}")
    probe = soak.overlay.drawing if soak.drawing else soak.overlay.passing
    soak.expect(probe, f"drawing {'on' if soak.drawing else 'off'} did not survive the resize to {w}x{h}")
    soak.settled_shot()
    soak.kind(f"resize-{w}x{h}")


def close_program(soak):
    """The Close tile: the program ends with status 0."""
    soak.click_tile(CLOSE)
    try:
        code = soak.overlay.proc.wait(timeout=soak.bound * 4)
    except Exception:
        raise Fault("the Close tile did not end the program")
    if code != 0:
        raise Fault(f"the program ended with status {code}")
