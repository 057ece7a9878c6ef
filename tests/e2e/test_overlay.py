"""The overlay on the real X stack: start-up, pass-through, drawing, staying on top."""

import os
import signal
import subprocess
import time
from pathlib import Path

from conftest import PROGRAM, Overlay, near, start_overlay, wait_until

GREY = "c0c0c0"


def test_start_splash_single_instance_and_end_on_request(xsession):
    proc = xsession.spawn("app", [PROGRAM])
    size = (xsession.width, xsession.height)
    first = last = None
    overlay = None
    end = time.monotonic() + 20
    while overlay is None and time.monotonic() < end:
        windows = xsession.windows_named("KORIVAN D")
        now = time.monotonic()
        if any(w[1:] == (512, 256) for w in windows):
            first = first or now
            last = now
        overlay = next((w for w in windows if w[1:] == size), None)
        if overlay:
            assert not any(w[1:] == (512, 256) for w in windows), "splash still shown with the overlay"
        time.sleep(0.02)
    assert overlay, "no overlay window"
    assert first, "no splash seen"
    # Polls are slow on a loaded machine; without the pause the splash would
    # be gone within a few tens of milliseconds.
    assert last - first >= 0.25, f"splash shown for only {last - first:.3f} s"
    # A tap at the moment the overlay shows counts; it used to be lost until
    # the keypad was first polled.
    xsession.key("KP_Multiply")
    assert wait_until(Overlay(xsession, proc, overlay[0]).drawing, 5), "multiply at start-up was lost"

    t0 = time.monotonic()
    second = subprocess.run([PROGRAM], env=xsession.env, timeout=10)
    assert second.returncode == 0
    assert time.monotonic() - t0 < 5
    assert len([w for w in xsession.windows_named("KORIVAN D") if w[1:] == size]) == 1
    assert proc.poll() is None, "the first instance ended"

    proc.send_signal(signal.SIGTERM)
    assert proc.wait(timeout=10) == 0


def test_pass_through_drawing_and_top_most(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1000, 700, GREY)
    overlay = start_overlay(xsession)
    w, h = xsession.width, xsession.height
    # Corner buttons and the panel take the pointer; the desktop does not.
    assert overlay.input_at((w - 45, 15), (w - 15, 15), (w - 70, 40), (w - 1, h - 1),
                            (w - 61, 15), (w - 141, 500), (w // 2, h // 2)) == "1111000"

    cx, cy = below.x + 100, below.y + 100
    xsession.click(cx, cy)
    assert wait_until(lambda: (cx, cy) in below.clicks()), "click did not pass through"

    xsession.click(*overlay.write_rect)
    assert wait_until(overlay.drawing), "drawing did not switch on"
    sx, sy = below.x + 200, below.y + 300
    xsession.drag([(sx + i * 20, sy + i * 5) for i in range(31)])
    on = [(sx + 200, sy + 50), (sx + 400, sy + 100)]
    off = (below.x + 700, below.y + 600)

    def stroke_over(colour):
        shot = xsession.shot()
        return all(not near(shot.getpixel(p), colour) for p in on) and near(shot.getpixel(off), colour)

    assert wait_until(lambda: stroke_over(below.colour)), "stroke not on screen"
    assert len(below.clicks()) == 1, "the drag reached the window below"

    xsession.click(*overlay.write_rect)
    assert wait_until(overlay.passing), "drawing did not switch off"
    cx2, cy2 = below.x + 600, below.y + 150
    xsession.click(cx2, cy2)
    assert wait_until(lambda: (cx2, cy2) in below.clicks()), "second click did not pass through"
    assert stroke_over(below.colour), "stroke gone after drawing off"

    # The keypad's multiply key toggles drawing while another window has the focus.
    xsession.xdotool("windowactivate", "--sync", below.id)
    xsession.key("KP_Multiply")
    assert wait_until(overlay.drawing), "multiply did not switch drawing on"
    xsession.key("KP_Multiply")
    assert wait_until(overlay.passing), "multiply did not switch drawing off"
    assert xsession.active_window() == below.id, "the window in front lost the focus"

    # Still on top after a fullscreen window is raised.
    full = xsession.test_window("korivan-e2e-full", 0, 0, 800, 600, "3060c0", "fullscreen")
    xsession.run("xdotool", "windowactivate", "--sync", str(full.id), check=False)
    assert wait_until(lambda: stroke_over(full.colour)), "stroke not above the fullscreen window"
    assert xsession.active_window() == full.id, "the overlay took the focus"

    # Back on top after a window that bypasses the window manager maps over it.
    cover = xsession.test_window("korivan-e2e-cover", 0, 0, w, h, "40a040", "override")
    assert wait_until(lambda: stroke_over(cover.colour)), "stroke not back above the covering window"
    assert overlay.alive()


def program_cpu(pid):
    """The program's processor time in seconds, once it has stopped taking any
    (the moves queued for it are handled)."""
    def now():
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    last = now()
    end = time.monotonic() + 20
    while time.monotonic() < end:
        time.sleep(0.4)
        value = now()
        if value == last:
            return value
        last = value
    return last


def test_hover_with_drawing_on_is_not_reported_to_the_program(xsession):
    overlay = start_overlay(xsession)
    xsession.click(*overlay.write_rect)
    assert wait_until(overlay.drawing), "drawing did not switch on"
    moves = []
    for i in range(3000):
        moves += ["mousemove", 100 + i % 500, 200 + (i // 500) * 50]
    pid = overlay.proc.pid

    before = program_cpu(pid)
    xsession.xdotool(*moves)
    hover = program_cpu(pid) - before
    # The same moves with the button held are points of a stroke, each one
    # taken and drawn: every row of it shows. (The stroke's moves come to the
    # program in batches, a few milliseconds of work for all of them, so
    # what they cost is no measure of having been taken.)
    before = program_cpu(pid)
    xsession.xdotool("mousedown", 1, *moves, "mouseup", 1)
    drag = program_cpu(pid) - before
    shot = xsession.shot()
    rows = [y for y in range(200, 500, 50) if shot.getpixel((350, y)) == shot.getpixel((350, 600))]
    assert not rows, f"the stroke's rows at y {rows} were not drawn"
    # Two clock ticks of slack for the program's own timers.
    assert hover <= 0.02 + drag / 20, f"hover cost the program {hover:.3f} s, the stroke {drag:.3f} s"
    assert xsession.pixel(300, 300) != xsession.pixel(300, 600), "the stroke was not drawn"
