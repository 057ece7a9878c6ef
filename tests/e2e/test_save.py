"""Saving the annotated screen, as a user does it: pictures decoded and
compared with what the screen showed."""

import os
import signal
from pathlib import Path

import pytest
from PIL import Image

from conftest import (SAVE, Overlay, differs, near, on_top, pictures_folder, saved, start_overlay,
                      wait_until, windows_titled)

GREY = "c0c0c0"
KINDS = {"jpg": 1, "png": 2, "bmp": 3, "tga": 4, "psd": 5}


def setup_ini(kind, extra=""):
    return f"[Setup]\nImageTypeDefault={KINDS[kind]}\n{extra}"


def psd_layers(path):
    """The layers of a PSD as RGBA images, bottom first, read here on their
    own rather than through the program's codec."""
    data = Path(path).read_bytes()
    be = lambda at, n: int.from_bytes(data[at:at + n], "big")
    assert data[:4] == b"8BPS"
    pos = 26
    pos += 4 + be(pos, 4)  # colour mode data
    pos += 4 + be(pos, 4)  # image resources
    pos += 8  # layer and mask, layer information lengths
    count = abs(int.from_bytes(data[pos:pos + 2], "big", signed=True))
    pos += 2
    records = []
    for _ in range(count):
        top, left, bottom, right = (be(pos + 4 * i, 4) for i in range(4))
        ids = [int.from_bytes(data[pos + 18 + 6 * c:pos + 20 + 6 * c], "big", signed=True)
               for c in range(be(pos + 16, 2))]
        pos += 18 + 6 * len(ids) + 12
        pos += 4 + be(pos, 4)  # extra data
        records.append((right - left, bottom - top, ids))
    layers = []
    for w, h, ids in records:
        planes = {}
        for cid in ids:
            rle, pos = be(pos, 2), pos + 2
            if not rle:
                planes[cid], pos = data[pos:pos + w * h], pos + w * h
                continue
            counts, pos = [be(pos + 2 * r, 2) for r in range(h)], pos + 2 * h
            plane = bytearray()
            for n in counts:
                row, at = bytearray(), pos
                while len(row) < w:
                    k = data[at]
                    if k < 128:
                        row += data[at + 1:at + k + 2]
                        at += k + 2
                    else:
                        row += data[at + 1:at + 2] * (257 - k) if k > 128 else b""
                        at += 2 if k > 128 else 1
                plane += row[:w]
                pos += n
            planes[cid] = bytes(plane)
        alpha = planes.get(-1, b"\xff" * (w * h))
        layers.append(Image.merge("RGBA", [Image.frombytes("L", (w, h), planes[c]) for c in (0, 1, 2)] +
                                  [Image.frombytes("L", (w, h), alpha)]))
    return layers


def draw_across(session, below):
    """A stroke over the test window; returns a point on it and where the pointer rests."""
    y = below.y + 300
    session.drag([(below.x + 100 + i * 10, y) for i in range(61)])
    rest = (below.x + 400, below.y + 500)
    session.xdotool("mousemove", *rest)
    return (below.x + 400, y), rest


def start_drawing(session, setup=None):
    below = session.test_window("korivan-e2e-below", 100, 100, 1200, 800, GREY)
    overlay = start_overlay(session, setup)
    session.click(*overlay.write_rect)
    assert wait_until(overlay.drawing)
    return below, overlay


@pytest.mark.parametrize("kind", ["jpg", "png", "bmp", "tga"])
def test_keypad_add_writes_the_stroke_over_the_desktop(xsession, kind):
    folder = pictures_folder(xsession)
    below, overlay = start_drawing(xsession, None if kind == "jpg" else setup_ini(kind))
    # The pointer picture is the system's pointer, which no capture holds.
    on, _ = draw_across(xsession, below)
    screen = wait_until(lambda: (s := xsession.shot()) and not near(s.getpixel(on), below.colour) and s)
    assert screen, "the stroke is not on the screen"
    w, h = xsession.width, xsession.height

    xsession.key("KP_Add")
    files = saved(folder)
    assert files and files[0].suffix == "." + kind, f"no picture in {folder}"
    picture = Image.open(files[0]).convert("RGB")
    assert picture.size == (w, h)
    tolerance = 24 if kind == "jpg" else 2
    assert near(picture.getpixel(on), screen.getpixel(on), tolerance), "the stroke is missing"
    # Under the controls lies the bare root, the colour of the screen's
    # top-left corner.
    root = screen.getpixel((10, 10))
    assert not differs(picture, root, [(w - 60, 0, w, 30), (w - 140, 30, w, h)], tolerance), \
        "the corner buttons or the column are in the picture"

    # Everything comes back; a notice shows for a moment, in no later picture.
    notice = [(w // 2 - 40, h - 62, w // 2 + 40, h - 50)]
    assert wait_until(lambda: differs(xsession.shot(), root, notice, 4), 5), "no notice"
    after = xsession.last_shot
    assert overlay.column_shown(after), "the column did not come back"
    assert not differs(after, screen, [(w - 60, 0, w, 30)], 4), "the corner buttons did not come back"
    assert overlay.drawing()
    first = files[0].stat().st_mtime_ns
    xsession.key("KP_Add")
    again = saved(folder, first)
    assert again, "no second picture"
    latest = max(again, key=lambda p: p.stat().st_mtime_ns)
    assert not differs(Image.open(latest), root, notice, tolerance), "the notice is in the picture"
    assert wait_until(lambda: not differs(xsession.shot(), root, notice, 4), 6), "the notice stays"


def test_psd_layers_and_the_column_as_it_was(xsession):
    folder = pictures_folder(xsession)
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, GREY)
    overlay = start_overlay(xsession, setup_ini("psd"))
    # The column hidden by the user stays hidden after the save.
    xsession.click(*overlay.mode_rect)
    assert wait_until(lambda: not overlay.column_shown())
    xsession.click(*overlay.write_rect)
    assert wait_until(overlay.drawing)
    on, rest = draw_across(xsession, below)
    assert wait_until(lambda: not near(xsession.pixel(*on), below.colour)), "the stroke is not on the screen"
    stroke = xsession.pixel(*on)

    xsession.key("KP_Add")
    files = saved(folder)
    assert files and files[0].suffix == ".psd"
    desktop, pen = psd_layers(files[0])
    assert desktop.size == pen.size == (xsession.width, xsession.height)
    assert near(desktop.getpixel(on), below.colour) and desktop.getpixel(on)[3] == 255, \
        "the stroke is in the desktop layer"
    assert near(pen.getpixel(on), stroke, 8) and pen.getpixel(on)[3] == 255
    assert pen.getpixel(rest)[3] == 0 and pen.getpixel((5, 5))[3] == 0
    assert not wait_until(overlay.column_shown, 1.5), "the hidden column came back"

    # Without strokes the pen layer is fully transparent.
    xsession.key("KP_Subtract")
    assert wait_until(lambda: near(xsession.pixel(*on), below.colour))
    first = files[0].stat().st_mtime_ns
    xsession.key("KP_Add")
    files = saved(folder, first)
    assert files, "no second picture"
    empty = psd_layers(max(files, key=lambda p: p.stat().st_mtime_ns))[1]
    assert empty.getextrema()[3] == (0, 0), "the pen layer without strokes is not transparent"


def test_save_as_above_the_overlay_with_a_typed_name(xsession):
    folder = pictures_folder(xsession, "Pictures")
    folder.mkdir()
    # Save As on the first tile, PSD chosen in the settings.
    below, overlay = start_drawing(xsession, setup_ini("psd", "[Menu]\nCount=1\nPenType0=pwSaveAs\n"))
    h = xsession.height
    for y in range(h // 2 - 150, h // 2 + 151, 50):  # where the dialog comes
        xsession.drag([(300 + i * 20, y) for i in range(66)])
    overlay.click_tile(0)
    dialog = wait_until(lambda: windows_titled(xsession, "Image Save As"), 20)
    assert dialog, "no Save As dialog"
    assert wait_until(lambda: on_top(xsession, dialog[0])), "the overlay covers the dialog"
    assert wait_until(lambda: xsession.active_window() == dialog[0], 5), "the dialog does not have the keyboard"
    xsession.key("ctrl+a")
    xsession.xdotool("type", "--delay", "20", "shot.png")
    xsession.key("Return")
    # Only the complete file, no writer's temporary beside it.
    assert wait_until(lambda: [p.name for p in folder.iterdir()] == ["shot.psd"], 20), list(folder.iterdir())
    assert psd_layers(folder / "shot.psd")[0].size == (xsession.width, h)


def test_failed_write_is_reported_and_the_overlay_is_as_before(xsession):
    # A pictures folder that cannot be made (a plain file stands where its
    # parent would be; as root, permissions would not stop the write).
    (xsession.home / "blocked").write_text("")
    pictures_folder(xsession, "blocked/Pictures")
    below, overlay = start_drawing(xsession)
    on, rest = draw_across(xsession, below)
    before = wait_until(lambda: (s := xsession.shot()) and not near(s.getpixel(on), below.colour) and s)
    assert before
    windows = set(windows_titled(xsession, "KORIVAN D"))
    overlay.click_tile(SAVE)
    box = wait_until(lambda: set(windows_titled(xsession, "KORIVAN D")) - windows, 20)
    assert box, "no error message"
    box = box.pop()
    assert wait_until(lambda: on_top(xsession, box)), "the overlay covers the message"
    assert wait_until(lambda: xsession.active_window() == box, 5), "the message does not have the keyboard"
    xsession.key("Return")
    assert wait_until(lambda: box not in windows_titled(xsession, "KORIVAN D"))
    # The overlay as before: column, corner buttons, drawing, stroke, hot keys.
    w = xsession.width
    assert wait_until(overlay.column_shown), "the column is not back"
    assert not differs(xsession.shot(), before, [(w - 60, 0, w, 30)], 4), "the corner buttons are not back"
    assert overlay.drawing()
    assert near(xsession.pixel(*on), before.getpixel(on))
    xsession.key("KP_Multiply")
    assert wait_until(overlay.passing), "the hot keys do not answer"


def test_device_pixel_ratio_two_saves_device_pixels(xsession):
    folder = pictures_folder(xsession)
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, GREY)
    ini = xsession.home / ".local/share/ORVEL PROJECT/KORIVAN DSK"
    ini.mkdir(parents=True)
    (ini / "Setup.ini").write_text(setup_ini("psd"))
    xsession.env["QT_SCALE_FACTOR"] = "2"
    proc = xsession.spawn("app", [os.environ["KORIVAN_PROGRAM"]])
    size = (xsession.width, xsession.height)
    found = wait_until(lambda: [w for w in xsession.windows_named("KORIVAN D") if w[1:] == size], 20)
    assert found, "no overlay window at scale 2"
    overlay = Overlay(xsession, proc, found[0][0])
    assert wait_until(overlay.passing)
    # The corner buttons are twice as large: the drawing switch lies 90 from the edge.
    xsession.click(xsession.width - 90, 30)
    assert wait_until(overlay.drawing), "the drawing switch is not where it should be at scale 2"
    on, rest = draw_across(xsession, below)
    assert wait_until(lambda: not near(xsession.pixel(*on), below.colour)), "no stroke at scale 2"
    stroke = xsession.pixel(*on)
    xsession.key("KP_Add")
    files = saved(folder)
    assert files and files[0].suffix == ".psd"
    desktop, pen = psd_layers(files[0])
    assert desktop.size == pen.size == size
    assert near(pen.getpixel(on), stroke, 16) and near(desktop.getpixel(on), below.colour)
    proc.send_signal(signal.SIGTERM)
    assert proc.wait(timeout=10) == 0


def test_save_chosen_in_the_launcher_leaves_the_launcher_out(xsession):
    folder = pictures_folder(xsession)
    below, overlay = start_drawing(xsession, setup_ini("png"))
    on, _ = draw_across(xsession, below)
    # The factory launcher: 30 entries, Save first, centred over the overlay.
    w, h = xsession.width, xsession.height
    launcher = ((w - 500) // 2, (h - 350) // 2, (w + 500) // 2, (h + 350) // 2)
    overlay.click_tile(12)  # Menu ...
    assert wait_until(lambda: differs(xsession.shot(), below.colour, [launcher], 4)), "the launcher did not show"
    xsession.click(launcher[0] + 35, launcher[1] + 35)
    files = saved(folder)
    assert files, f"no picture in {folder}"
    picture = Image.open(files[0]).convert("RGB")
    assert not near(picture.getpixel(on), below.colour), "the stroke is missing"
    # Where the launcher lay the picture shows the window below, but for the stroke.
    x0, y0, x1, y1 = launcher
    bands = [(x0, y0, x1, on[1] - 8), (x0, on[1] + 8, x1, y1)]
    assert not differs(picture, below.colour, [b for b in bands if b[3] > b[1]], 2), \
        "the launcher is in the picture"
