"""A second monitor for a while: the screen made twice as wide, the output
keeping its left half and a RandR monitor of its own on the right one, the
overlay covering both ("All screens" is set before the start); strokes on
each, undo across them, a save of the whole desktop; then one monitor again,
at one of the usual sizes."""

from actions import PEN, Fault, action, along, drag
from conftest import REDO, SAVE, UNDO, near
from session import PAIR


def overlay_windows(session):
    """(x, width, height) of the program's windows as large as a monitor, left to right."""
    out = session.run("xwininfo", "-root", "-tree", check=False).stdout
    found = []
    for line in out.splitlines():
        if '"KORIVAN D"' in line:
            size, x, _ = line.split()[-2].split("+")
            w, h = map(int, size.split("x"))
            if w >= 1000 and h >= 700:
                found.append((int(x), w, h))
    return sorted(found)


def output_name(session):
    out = session.run("xrandr", check=False).stdout
    return next((line.split()[0] for line in out.splitlines() if " connected" in line), None)


@action(1)
def monitors(soak, rng):
    from session import MODES
    s = soak.session
    if not s.can_resize or soak.ini.get(("Display", "isAllScreens")) != "1":
        return
    half, h = PAIR[0] // 2, PAIR[1]
    output = output_name(s)
    # A screen twice as wide, the output's monitor its left half, and a
    # monitor of its own on the right half, as a second one plugged in.
    s.run("xrandr", "-s", f"{PAIR[0]}x{h}")
    s.run("xrandr", "--setmonitor", "left", f"{half}/338x{h}/211+0+0", output)
    s.run("xrandr", "--setmonitor", "right", f"{half}/338x{h}/211+{half}+0", "none")
    s.width, s.height = half, h  # the controls stay on the primary monitor, the left one
    soak.overlay.write_rect, soak.overlay.mode_rect = (half - 45, 15), (half - 15, 15)
    wanted = [(0, half, h), (half, half, h)]
    try:
        soak.expect(lambda: overlay_windows(s) == wanted, "the overlay does not cover both monitors")
        probe = soak.overlay.drawing if soak.drawing else soak.overlay.passing
        soak.expect(probe, "the drawing switch did not hold on the second monitor's coming")
        soak.settled_shot()
        strokes_on_both(soak, rng, half)
    except Fault:
        soak.session.shot().save(soak.session.tmp / "screen-for-monitors.png")
        raise
    finally:
        s.run("xrandr", "--delmonitor", "right", check=False)
        w, h = rng.choice(MODES)
        s.resize(w, h)
        s.run("xrandr", "--delmonitor", "left", check=False)
        soak.overlay.write_rect, soak.overlay.mode_rect = (w - 45, 15), (w - 15, 15)
    soak.expect(lambda: overlay_windows(s) == [(0, w, h)], f"the overlay did not go back to one monitor of {w}x{h}")
    probe = soak.overlay.drawing if soak.drawing else soak.overlay.passing
    soak.expect(probe, "the drawing switch did not hold on the second monitor's going")
    soak.settled_shot()


def strokes_on_both(soak, rng, half):
    """A stroke on each monitor; Undo takes the later one first, whichever
    monitor it is on; Save writes both monitors as the screen shows them."""
    if soak.tool != PEN or not soak.drawing:
        soak.click_tile(rng.randint(0, 4))
        soak.tool, soak.drawing = PEN, True
        soak.expect(soak.overlay.drawing, "a stock pen tile did not switch drawing on")
    h = soak.session.height
    lines = []
    order = [0, half] if rng.random() < 0.5 else [half, 0]
    for left in order:
        y = rng.randint(120, h - 200)
        x = left + rng.randint(60, half - 500)
        line = [(x + 15 * i, y + rng.randint(-3, 3)) for i in range(20)]
        before = soak.shot()
        drag(soak, rng, line)
        fresh = [p for p in along(line) if near(before.getpixel(p), soak.bg)]
        if len(fresh) < 50:
            raise Fault("no room for a stroke on the monitors")  # cannot be: each begins blank
        # Where the pen shows (a dashed one leaves gaps), once it shows.
        soak.expect(lambda: drawn(soak, fresh), f"the stroke on the monitor at x={left} does not show")
        soak.settled_shot()
        lines.append(drawn(soak, fresh))
    first, second = lines
    soak.click_tile(UNDO)
    soak.expect(lambda: gone(soak, second) and shown(soak, first), "Undo did not take back the later stroke alone")
    soak.click_tile(UNDO)
    soak.expect(lambda: gone(soak, first), "a second Undo did not take back the earlier stroke")
    soak.click_tile(REDO)
    soak.click_tile(REDO)
    soak.expect(lambda: shown(soak, first) and shown(soak, second), "Redo did not give both strokes back")
    w, h = soak.session.width, soak.session.height
    soak.save(lambda: soak.click_tile(SAVE), expect=True, how="Save tile, two monitors",
              boxes=[(0, 40, w - 150, h - 110), (half, 40, 2 * half, h - 110)])


def drawn(soak, points):
    """Those of the points where a stroke shows, in one look."""
    shot = soak.shot()
    return [p for p in points if not near(shot.getpixel(p), soak.bg)]


def shown(soak, points):
    return len(drawn(soak, points)) >= 0.8 * len(points)


def gone(soak, points):
    return len(drawn(soak, points)) <= 0.2 * len(points)
