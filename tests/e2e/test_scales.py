"""Saving at fractional device pixel ratios: the picture has the screen's
device pixels and shows the stroke where the screen showed it."""

import signal

import pytest
from PIL import Image

from conftest import (PROGRAM, Overlay, _session, differs, near, pictures_folder, saved, settled_shot,
                      wait_until)
from test_save import KINDS, psd_layers, setup_ini

GREY = "c0c0c0"


@pytest.fixture
def scaled_session(request, tmp_path):
    width, height, ratio = request.param
    for session in _session(request, tmp_path, width, height):
        session.env["QT_SCALE_FACTOR"] = str(ratio)
        yield session


def start_scaled(session, kind):
    """The program with the kind as the save format; returns the overlay."""
    ini = session.home / ".local/share/ORVEL PROJECT/KORIVAN DSK"
    ini.mkdir(parents=True, exist_ok=True)
    (ini / "Setup.ini").write_text(setup_ini(kind))
    proc = session.spawn("app", [PROGRAM])
    # The window is the logical size times the ratio: a pixel wider or taller
    # than the screen where that rounds up.
    fits = lambda w: w[1] - session.width in (0, 1) and w[2] - session.height in (0, 1)
    found = wait_until(lambda: [w for w in session.windows_named("KORIVAN D") if fits(w)], 20)
    assert found, "no overlay window"
    overlay = Overlay(session, proc, found[0][0])
    assert wait_until(overlay.passing, 10)
    return overlay


def device(logical, ratio):
    return int(logical * ratio + 0.5)


@pytest.mark.parametrize("scaled_session", [(2560, 1440, 1.5), (1366, 768, 1.25), (1920, 1080, 1.75)],
                         indirect=True, ids=["2560x1440@1.5", "1366x768@1.25", "1920x1080@1.75"])
def test_every_format_saves_the_screens_device_pixels(scaled_session):
    session = scaled_session
    ratio = float(session.env["QT_SCALE_FACTOR"])
    w, h = session.width, session.height
    logical_w = round(w / ratio)
    folder = pictures_folder(session)
    below = session.test_window("korivan-e2e-below", 100, 100, 700, 500, GREY)
    box = (150, 300, 650, 400)  # around the stroke, device pixels
    column = (device(logical_w - 140, ratio) + 2, 2, w, h - 2)  # corner buttons and column
    newest = 0
    for kind in KINDS:
        overlay = start_scaled(session, kind)
        session.click(device(logical_w - 45, ratio), device(15, ratio))
        assert wait_until(overlay.drawing), f"{kind}: the drawing switch is not where the screen shows it"
        session.drag([(200 + i * 10, 350) for i in range(41)])
        session.xdotool("mousemove", 400, 550)
        screen = wait_until(lambda: (s := session.shot()) and not near(s.getpixel((400, 350)), below.colour) and s)
        assert screen, f"{kind}: the stroke is not on the screen"
        screen = settled_shot(session, screen, [box])
        assert screen, f"{kind}: the stroke keeps changing"
        root = screen.getpixel((10, 10))

        session.key("KP_Add")
        files = saved(folder, newest)
        assert files, f"{kind}: no picture"
        latest = max(files, key=lambda p: p.stat().st_mtime_ns)
        newest = latest.stat().st_mtime_ns
        assert latest.suffix == "." + kind
        if kind == "psd":
            desktop, pen = psd_layers(latest)
            assert desktop.size == pen.size == (w, h)
            assert not differs(desktop, below.colour, [box], 2), "the stroke is in the desktop layer"
            assert pen.getpixel((400, 350))[3] == 255 and pen.getpixel((400, 380))[3] == 0
            picture = Image.alpha_composite(desktop, pen)
        else:
            picture = Image.open(latest)
        assert picture.size == (w, h), f"{kind}: {picture.size} is not the screen's size"
        tolerance = {"jpg": 40, "psd": 8}.get(kind, 3)
        assert not differs(picture, screen, [box], tolerance), f"{kind}: the stroke is not where the screen showed it"
        assert not differs(picture, root, [column], tolerance), f"{kind}: the controls are in the picture"
        overlay.proc.send_signal(signal.SIGTERM)
        assert overlay.proc.wait(timeout=10) == 0
