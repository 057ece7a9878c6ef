"""Two monitors side by side (RandR 1.5 monitors on one 3840 x 1080 Xvfb
screen, the right one 800 high): the primary only by default, every monitor
with "All screens"."""

import pytest
from PIL import Image

from conftest import (PROGRAM, REDO, UNDO, Overlay, _session, differs, near, pictures_folder, saved,
                      settled_shot, wait_until)
from test_save import psd_layers

GREY, GREEN = "c0c0c0", "40a040"
RIGHT = "1920/508x800/212+1920+0"
SETUP = "[Setup]\nImageTypeDefault=5\n[Display]\nisAllScreens={}\n"


@pytest.fixture
def two_monitors(request, tmp_path):
    for session in _session(request, tmp_path, 3840, 1080):
        # The first monitor takes the server's only output, so that the
        # monitor made of the whole screen goes.
        session.run("xrandr", "--setmonitor", "left", "1920/508x1080/286+0+0", "screen")
        session.run("xrandr", "--setmonitor", "right", RIGHT, "none")
        yield session


def windows(session):
    """{(x, width, height): id} of the program's windows on screen."""
    # A window that goes while the tree is walked fails the walk: none then.
    out = session.run("xwininfo", "-root", "-tree", check=False).stdout
    found = {}
    for line in out.splitlines():
        if '"KORIVAN D"' in line and " 1x1+" not in line:
            size, x, _ = line.split()[-2].split("+")
            found[(int(x), *map(int, size.split("x")))] = int(line.split()[0], 16)
    return found


def overlays(session):
    return sorted(windows(session))  # (x, width, height), left to right


def start(session, all_screens, extra_env=None):
    ini = session.home / ".local/share/ORVEL PROJECT/KORIVAN DSK"
    ini.mkdir(parents=True, exist_ok=True)
    (ini / "Setup.ini").write_text(SETUP.format(all_screens))
    session.env.update(extra_env or {})
    proc = session.spawn("app", [PROGRAM])
    wanted = [(0, 1920, 1080), (1920, 1920, 800)] if all_screens else [(0, 1920, 1080)]
    assert wait_until(lambda: overlays(session) == wanted, 20), overlays(session)
    # The controls lie at the right edge of the primary monitor.
    session.width = 1920
    overlay = Overlay(session, proc, windows(session)[(0, 1920, 1080)])
    # Ready once its input shape holds the corner buttons and nothing else.
    assert wait_until(lambda: overlay.input_at((960, 540), overlay.write_rect) == "01", 10)
    return overlay


def draw_on(session, overlay):
    session.click(*overlay.write_rect)
    assert wait_until(lambda: overlay.input_at((960, 540)) == "1"), "the drawing switch did not answer"


def test_factory_setting_covers_only_the_primary_monitor(two_monitors):
    session = two_monitors
    right = session.test_window("korivan-e2e-right", 2200, 200, 600, 400, GREEN)
    overlay = start(session, 0)
    draw_on(session, overlay)
    session.click(2400, 400)
    assert wait_until(lambda: right.clicks()), "a click on the other monitor did not reach the window below"


def test_all_screens_draws_and_saves_on_both_monitors_in_one_history(two_monitors):
    session = two_monitors
    folder = pictures_folder(session)
    right = session.test_window("korivan-e2e-right", 2200, 200, 600, 400, GREEN)
    overlay = start(session, 1)
    # Drawing off: the other monitor lets the pointer through as well.
    session.click(2700, 550)
    assert wait_until(lambda: right.clicks()), "a click on the other monitor did not pass through"
    draw_on(session, overlay)
    left_on, right_on = (400, 300), (2400, 300)
    left_shown = lambda: not near(session.pixel(*left_on), session.pixel(400, 340))
    session.drag([(200 + i * 10, 300) for i in range(41)])
    session.drag([(2200 + i * 10, 300) for i in range(41)])
    session.xdotool("mousemove", 1000, 800)
    assert wait_until(lambda: left_shown() and not near(session.pixel(*right_on), right.colour)), \
        "the strokes do not show on both monitors"
    boxes = [(150, 250, 650, 350), (2150, 250, 2650, 350)]
    screen = settled_shot(session, session.shot(), boxes)
    assert screen and len(right.clicks()) == 1, "the stroke on the other monitor reached the window below"

    session.key("KP_Add")
    files = saved(folder)
    assert files, "no picture"
    desktop, pen = psd_layers(files[0])
    assert desktop.size == pen.size == (3840, 1080)
    assert pen.getpixel(left_on)[3] == pen.getpixel(right_on)[3] == 255, "a stroke is missing from the stroke layer"
    assert near(desktop.getpixel(right_on), right.colour), "the bare desktop has a stroke"
    assert not differs(desktop, (0, 0, 0), [(1920, 800, 3840, 1080)], 0), "outside the monitors is not black"
    picture = Image.alpha_composite(desktop, pen)
    assert not differs(picture, screen, boxes, 8), "the picture does not show both strokes as the screen did"

    # Undo takes back the latest stroke first, whichever monitor it is on.
    overlay.click_tile(UNDO)
    assert wait_until(lambda: near(session.pixel(*right_on), right.colour)), "the right stroke is still there"
    assert left_shown(), "the left stroke went first"
    overlay.click_tile(UNDO)
    assert wait_until(lambda: not left_shown()), "the left stroke stays"
    overlay.click_tile(REDO)
    assert wait_until(left_shown)

    # The other monitor unplugged, then plugged in again as the primary one:
    # the overlay follows, the main window goes over to the new primary, the
    # stroke of the monitor that stayed is kept.
    session.run("xrandr", "--delmonitor", "right")
    assert wait_until(lambda: overlays(session) == [(0, 1920, 1080)], 10), overlays(session)
    session.run("xrandr", "--setmonitor", "*right", RIGHT, "none")
    assert wait_until(lambda: windows(session).get((1920, 1920, 800)) == overlay.window, 10), windows(session)
    assert overlays(session) == [(0, 1920, 1080), (1920, 1920, 800)]
    # The left monitor's window is a new one: shown once the screen has it.
    assert wait_until(left_shown), "the left stroke was lost"


def mixed_blocks(image):
    """Aligned 2 x 2 blocks that are not of one colour: none where a picture
    drawn at half resolution was scaled up."""
    w, h = image.size
    px = image.load()
    return sum(1 for y in range(0, h - 1, 2) for x in range(0, w - 1, 2)
               if len({px[x, y], px[x + 1, y], px[x, y + 1], px[x + 1, y + 1]}) > 1)


def test_each_monitor_at_its_own_ratio_draws_crisp_strokes_under_the_pointer(two_monitors):
    session = two_monitors
    below = session.test_window("korivan-e2e-below", 100, 100, 1600, 800, GREY)
    session.test_window("korivan-e2e-below2", 2020, 100, 1600, 800, GREY)
    overlay = start(session, 1, {"QT_SCREEN_SCALE_FACTORS": "1;2"})
    # Ratio 1 on the primary: its corner buttons are where they always were.
    draw_on(session, overlay)
    for x0 in (300, 2300):
        path = [(x0 + i * 10, 300 + i * 4) for i in range(41)]
        session.drag(path)
        session.xdotool("mousemove", x0, 800)
        under = lambda s: all(not near(s.getpixel(p), below.colour) for p in path[1:-1])
        shot = wait_until(lambda: (s := session.shot()) and under(s) and s)
        assert shot, f"the stroke is not under the pointer at x={x0}"
        edges = shot.crop((x0, 260, x0 + 400, 500))
        assert mixed_blocks(edges) > 40, f"the stroke at x={x0} is drawn at half resolution"
