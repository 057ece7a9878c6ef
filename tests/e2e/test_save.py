"""Saving the annotated screen, as a user does it: pictures decoded and
compared with what the screen showed."""

import io
import os
import re
import signal
import subprocess
import time
from pathlib import Path

import pytest
from PIL import Image

from conftest import Overlay, near, start_overlay, wait_until

GREY = "c0c0c0"
SAVE = 10  # the Save tile of the factory column
NAME = re.compile(r"^\d{8}_\d{6}\.(jpg|png|bmp|tga|psd)$")
KINDS = {"jpg": 1, "png": 2, "bmp": 3, "tga": 4, "psd": 5}


def setup_ini(kind, extra=""):
    return f"[Setup]\nImageTypeDefault={KINDS[kind]}\n{extra}"


def pictures_folder(session, name="Bilder"):
    """Points the XDG pictures folder at one that does not exist yet."""
    config = session.home / ".config"
    config.mkdir(parents=True, exist_ok=True)
    (config / "user-dirs.dirs").write_text(f'XDG_PICTURES_DIR="$HOME/{name}"\n')
    return session.home / name


def saved(folder, count=1, timeout=20):
    """The pictures in folder once there are count of them, complete."""
    def ready():
        if not folder.is_dir():
            return None
        files = sorted(p for p in folder.iterdir() if p.is_file())
        # The writer's temporary files never carry a picture's name.
        pictures = [p for p in files if NAME.match(p.name)]
        return pictures if len(pictures) >= count and len(files) == len(pictures) else None
    return wait_until(ready, timeout)


def decode(path):
    im = Image.open(path)
    return im.convert("RGBA")


def unpack_bits(data, pos, size):
    out = bytearray()
    while len(out) < size:
        n = data[pos]
        pos += 1
        if n < 128:
            out += data[pos:pos + n + 1]
            pos += n + 1
        elif n > 128:
            out += bytes([data[pos]]) * (257 - n)
            pos += 1
    return bytes(out[:size]), pos


def psd_layers(path):
    """The layers of a PSD as RGBA images, bottom first, read here on their
    own rather than through the program's codec."""
    data = Path(path).read_bytes()
    be = lambda at, n: int.from_bytes(data[at:at + n], "big")
    assert data[:4] == b"8BPS"
    pos = 26
    pos += 4 + be(pos, 4)  # colour mode data
    pos += 4 + be(pos, 4)  # image resources
    pos += 4 + 4  # layer and mask information, layer information lengths
    count = abs(int.from_bytes(data[pos:pos + 2], "big", signed=True))
    pos += 2
    records = []
    for _ in range(count):
        top, left, bottom, right = (be(pos + 4 * i, 4) for i in range(4))
        channels = be(pos + 16, 2)
        pos += 18
        ids = []
        for _ in range(channels):
            ids.append(int.from_bytes(data[pos:pos + 2], "big", signed=True))
            pos += 6
        pos += 12  # signature, blend mode, opacity, clipping, flags, filler
        pos += 4 + be(pos, 4)  # extra data
        records.append((left, top, right - left, bottom - top, ids))
    layers = []
    for left, top, w, h, ids in records:
        planes = {}
        for cid in ids:
            compression = be(pos, 2)
            pos += 2
            if compression == 0:
                planes[cid] = data[pos:pos + w * h]
                pos += w * h
            else:
                counts = [be(pos + 2 * r, 2) for r in range(h)]
                pos += 2 * h
                rows = bytearray()
                for r in range(h):
                    row, _ = unpack_bits(data, pos, w)
                    rows += row
                    pos += counts[r]
                planes[cid] = bytes(rows)
        bands = [Image.frombytes("L", (w, h), planes[c]) for c in (0, 1, 2)]
        alpha = Image.frombytes("L", (w, h), planes[-1]) if -1 in planes else Image.new("L", (w, h), 255)
        layer = Image.merge("RGBA", bands + [alpha])
        layers.append((left, top, layer))
    return layers


def windows_titled(session, start):
    """(id, width, height) of the mapped windows whose title begins so."""
    out = session.run("xwininfo", "-root", "-tree", check=False).stdout
    found = []
    for line in out.splitlines():
        m = re.search(r'^\s*(0x[0-9a-f]+) "([^"]*)".* (\d+)x(\d+)[+-]', line)
        if m and m.group(2).startswith(start) and (m.group(3), m.group(4)) != ("1", "1"):
            found.append((int(m.group(1), 16), int(m.group(3)), int(m.group(4))))
    return found


def on_top(session, wid):
    """Whether the screen shows the window as the window draws itself."""
    info = session.run("xwininfo", "-id", str(wid)).stdout
    field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
    x, y = field("Absolute upper-left X"), field("Absolute upper-left Y")
    w, h = field("Width"), field("Height")
    own = window_shot(session, wid)
    shot = session.shot().crop((x, y, x + w, y + h))
    return not regions_match(shot, own, [(4, 4, w - 4, h - 4)], 4)


def window_shot(session, wid):
    png = subprocess.run(["import", "-window", str(wid), "png:-"], env=session.env, check=True,
                         capture_output=True, timeout=30).stdout
    return Image.open(io.BytesIO(png)).convert("RGB")


def draw_across(session, below):
    """A stroke over the test window; returns a point on it and the pointer's rest."""
    y = below.y + 300
    session.drag([(below.x + 100 + i * 10, y) for i in range(61)])
    rest = (below.x + 400, below.y + 500)
    session.xdotool("mousemove", *rest)
    return (below.x + 400, y), rest


def regions_match(picture, reference, boxes, tolerance):
    for box in boxes:
        for x in range(box[0], box[2], 3):
            for y in range(box[1], box[3], 3):
                if not near(picture.getpixel((x, y)), reference.getpixel((x, y)), tolerance):
                    return f"{(x, y)}: {picture.getpixel((x, y))} against {reference.getpixel((x, y))}"
    return None


def uniform(picture, boxes, colour, tolerance):
    for box in boxes:
        for x in range(box[0], box[2], 3):
            for y in range(box[1], box[3], 3):
                if not near(picture.getpixel((x, y)), colour, tolerance):
                    return f"{(x, y)}: {picture.getpixel((x, y))} against {colour}"
    return None


@pytest.mark.parametrize("kind", ["jpg", "png", "bmp", "tga"])
def test_keypad_add_writes_the_stroke_over_the_desktop(xsession, kind):
    folder = pictures_folder(xsession)
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, GREY)
    overlay = start_overlay(xsession, None if kind == "jpg" else setup_ini(kind))
    xsession.click(*overlay.write_rect)
    assert wait_until(overlay.drawing)
    on, rest = draw_across(xsession, below)
    screen = wait_until(lambda: (s := xsession.shot()) and not near(s.getpixel(on), below.colour) and s)
    assert screen, "the stroke is not on the screen"
    stroke = screen.getpixel(on)
    w, h = xsession.width, xsession.height
    pointer = [(rest[0] - 40, rest[1] - 40, rest[0] + 40, rest[1] + 40)]
    assert uniform(screen, pointer, below.colour, 4), "no pointer picture on the screen"

    xsession.key("KP_Add")
    files = saved(folder)
    assert files, f"no picture in {folder}"
    assert files[0].suffix == "." + kind
    picture = decode(files[0])
    assert picture.size == (xsession.width, xsession.height)
    tolerance = 24 if kind == "jpg" else 2
    assert near(picture.getpixel(on), stroke, tolerance), "the stroke is missing"
    # Under the controls lies the bare root, the colour the screen shows at
    # its top-left corner; under the pointer the test window.
    controls = [(w - 60, 0, w, 30), (w - 140, 30, w, h)]
    root = screen.getpixel((10, 10))
    mismatch = uniform(picture, controls, root, tolerance) or uniform(picture, pointer, below.colour, tolerance)
    assert not mismatch, f"the overlay's controls or pointer picture are in the picture: {mismatch}"

    # Everything comes back; a notice shows for a moment, then goes.
    notice = [(w // 2 - 40, h - 62, w // 2 + 40, h - 50)]
    assert wait_until(lambda: uniform(xsession.shot(), notice, root, 4), 5), "no notice"
    after = xsession.last_shot
    assert overlay.column_shown(after), "the column did not come back"
    assert not regions_match(after, screen, [(w - 60, 0, w, 30)], 4), "the corner buttons did not come back"
    assert uniform(after, pointer, below.colour, 4), "the pointer picture did not come back"
    assert overlay.drawing()
    assert wait_until(lambda: not uniform(xsession.shot(), notice, root, 4), 6), "the notice stays"
    assert overlay.alive()


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
    (_, _, desktop_layer), (_, _, pen_layer) = psd_layers(files[0])
    size = (xsession.width, xsession.height)
    assert desktop_layer.size == size and pen_layer.size == size
    assert near(desktop_layer.getpixel(on), below.colour), "the stroke is in the desktop layer"
    assert desktop_layer.getpixel(on)[3] == 255
    assert near(pen_layer.getpixel(on), stroke, 8) and pen_layer.getpixel(on)[3] == 255
    assert pen_layer.getpixel(rest)[3] == 0 and pen_layer.getpixel((5, 5))[3] == 0
    assert not wait_until(overlay.column_shown, 1.5), "the hidden column came back"

    # Without strokes the pen layer is fully transparent.
    first = files[0].name
    xsession.key("KP_Subtract")
    assert wait_until(lambda: near(xsession.pixel(*on), below.colour))
    assert wait_until(lambda: time.strftime("%Y%m%d_%H%M%S") + ".psd" != first, 3)
    xsession.key("KP_Add")
    files = saved(folder, 2)
    assert files, "no second picture"
    empty = psd_layers(files[-1])[1][2]
    assert empty.getextrema()[3] == (0, 0), "the pen layer without strokes is not transparent"


def test_save_as_above_the_overlay_with_a_typed_name(xsession):
    folder = pictures_folder(xsession, "Pictures")
    folder.mkdir()
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, GREY)
    # Save As on the first tile, PSD chosen in the settings.
    overlay = start_overlay(xsession, setup_ini("psd", "[Menu]\nCount=1\nPenType0=pwSaveAs\n"))
    xsession.click(*overlay.write_rect)
    assert wait_until(overlay.drawing)
    h = xsession.height
    # Strokes across the middle of the screen, where the dialog comes.
    for y in range(h // 2 - 150, h // 2 + 151, 50):
        xsession.drag([(300 + i * 20, y) for i in range(66)])
    overlay.click_tile(0)
    dialog = wait_until(lambda: windows_titled(xsession, "Image Save As"), 20)
    assert dialog, "no Save As dialog"
    wid = dialog[0][0]
    # Above the overlay: no stroke across it.
    assert wait_until(lambda: on_top(xsession, wid)), "the overlay covers the dialog"
    assert wait_until(lambda: xsession.active_window() == wid, 5), "the dialog does not have the keyboard"
    xsession.key("ctrl+a")
    xsession.xdotool("type", "--delay", "20", "shot.png")
    xsession.key("Return")
    # Only the complete file, no writer's temporary beside it.
    written = wait_until(lambda: [p.name for p in folder.iterdir()] == ["shot.psd"], 20)
    assert written, f"not only shot.psd: {list(folder.iterdir())}"
    assert psd_layers(folder / "shot.psd")[0][2].size == (xsession.width, xsession.height)


def test_failed_write_is_reported_and_the_overlay_is_as_before(xsession):
    # A pictures folder that cannot be made: a plain file stands where its parent would be.
    (xsession.home / "blocked").write_text("")
    pictures_folder(xsession, "blocked/Pictures")
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, GREY)
    overlay = start_overlay(xsession)
    xsession.click(*overlay.write_rect)
    assert wait_until(overlay.drawing)
    on, rest = draw_across(xsession, below)
    before = wait_until(lambda: (s := xsession.shot()) and not near(s.getpixel(on), below.colour) and s)
    assert before
    windows = {w[0] for w in xsession.windows_named("KORIVAN D")}
    overlay.click_tile(SAVE)
    box = wait_until(lambda: [w for w in xsession.windows_named("KORIVAN D") if w[0] not in windows], 20)
    assert box, "no error message"
    assert wait_until(lambda: on_top(xsession, box[0][0])), "the overlay covers the message"
    assert wait_until(lambda: xsession.active_window() == box[0][0], 5), "the message does not have the keyboard"
    xsession.key("Return")
    assert wait_until(lambda: not [w for w in xsession.windows_named("KORIVAN D") if w[0] not in windows])
    # The overlay as before: column, corner buttons, drawing, stroke, hot keys.
    w = xsession.width
    assert wait_until(overlay.column_shown)
    assert wait_until(lambda: not regions_match(xsession.shot(), before, [(w - 60, 0, w, 30)], 4))
    assert overlay.drawing()
    assert near(xsession.pixel(*on), before.getpixel(on))
    xsession.key("KP_Multiply")
    assert wait_until(overlay.passing), "the hot keys do not answer"


def test_device_pixel_ratio_two_saves_device_pixels(xsession):
    folder = pictures_folder(xsession)
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, GREY)
    folder_ini = xsession.home / ".local/share/ORVEL PROJECT/KORIVAN DSK"
    folder_ini.mkdir(parents=True)
    (folder_ini / "Setup.ini").write_text(setup_ini("psd"))
    xsession.env["QT_SCALE_FACTOR"] = "2"
    proc = xsession.spawn("app", [os.environ["KORIVAN_PROGRAM"]])
    size = (xsession.width, xsession.height)
    found = wait_until(lambda: [w for w in xsession.windows_named("KORIVAN D") if w[1:] == size], 20)
    assert found, "no overlay window at scale 2"
    overlay = Overlay(xsession, proc, found[0][0])
    assert wait_until(overlay.passing)
    w = xsession.width
    # The corner buttons are twice as large: the drawing switch lies at 90 from the edge.
    xsession.click(w - 90, 30)
    assert wait_until(overlay.drawing), "the drawing switch is not where it should be at scale 2"
    y = below.y + 300
    def drawn():
        xsession.drag([(below.x + 100 + i * 10, y) for i in range(61)])
        return not near(xsession.pixel(below.x + 400, y), below.colour)
    assert wait_until(drawn, 10), "no stroke at scale 2"
    stroke = xsession.pixel(below.x + 400, y)
    xsession.key("KP_Add")
    files = saved(folder)
    assert files and files[0].suffix == ".psd"
    (_, _, desktop_layer), (_, _, pen_layer) = psd_layers(files[0])
    assert desktop_layer.size == size and pen_layer.size == size
    assert near(pen_layer.getpixel((below.x + 400, y)), stroke, 16)
    assert near(desktop_layer.getpixel((below.x + 400, y)), below.colour)
    proc.send_signal(signal.SIGTERM)
    assert proc.wait(timeout=10) == 0
