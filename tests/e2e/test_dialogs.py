"""The pen chooser, the launcher and the about box over the overlay."""

import os
from pathlib import Path

from conftest import (CHOOSER_OK, ERASER, INFO, LAUNCHER_CLOSE, MENU, PROGRAM, RED_TILE, about_box,
                      chooser_closed, chooser_colour_tile, launcher_tile, near, open_chooser, shows,
                      start_overlay, wait_until)

BLACK, RED, GREEN_PEN, BLUE = (0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)

def stroke_colour(session, below, y, colour):
    """Draws a stroke across the window below; whether it shows in colour."""
    x = below.x + 100
    session.drag([(x + i * 10, y) for i in range(41)])
    return wait_until(shows(session, (x + 200, y), colour, 8))




def test_stock_pen_from_the_launcher_draws_the_next_stroke(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession)

    # Close only closes the launcher.
    overlay.click_tile(MENU)
    assert wait_until(shows(xsession, LAUNCHER_CLOSE, RED_TILE)), "the launcher did not show"
    xsession.click(*LAUNCHER_CLOSE)
    assert wait_until(lambda: not near(xsession.pixel(*LAUNCHER_CLOSE), RED_TILE)), "Close left it open"
    assert overlay.alive() and overlay.passing()

    # Entries 8-17 are the stock pens; 10 is stock pen 2, blue.
    overlay.click_tile(MENU)
    assert wait_until(shows(xsession, LAUNCHER_CLOSE, RED_TILE)), "the launcher did not show again"
    assert near(xsession.pixel(*launcher_tile(10)), BLUE)
    xsession.click(*launcher_tile(10))
    assert wait_until(overlay.drawing), "choosing a stock pen did not switch drawing on"
    assert stroke_colour(xsession, below, below.y + 300, BLUE), "the stroke is not in the chosen pen"


def test_pen_setup_colour_and_ok_change_the_next_stroke(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession)
    open_chooser(xsession, overlay)
    xsession.click(*chooser_colour_tile(4))  # red
    xsession.click(*CHOOSER_OK)
    assert wait_until(chooser_closed(xsession)), "OK did not close the pen chooser"
    assert wait_until(overlay.drawing), "drawing is not on after the pen chooser"
    assert stroke_colour(xsession, below, below.y + 300, RED), "the stroke is not red"


def test_with_the_eraser_current_pen_setup_edits_the_previous_pen(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession)

    # Escape cancels, and the pen before the eraser (stock pen 0, black) is current again.
    overlay.click_tile(ERASER)
    open_chooser(xsession, overlay)
    xsession.key("Escape")
    assert wait_until(chooser_closed(xsession)), "Escape did not close the pen chooser"
    assert stroke_colour(xsession, below, below.y + 200, BLACK), "the pen before the eraser is not back"

    # Enter confirms: the previous pen, now green, draws.
    overlay.click_tile(ERASER)
    open_chooser(xsession, overlay)
    xsession.click(*chooser_colour_tile(2))  # green
    xsession.key("Return")
    assert wait_until(chooser_closed(xsession)), "Enter did not close the pen chooser"
    assert stroke_colour(xsession, below, below.y + 400, GREEN_PEN), "the stroke is not green"


def test_about_box_shows_the_version_and_opens_the_help_page(xsession):
    # A stand-in browser, found first on the path, records what it is asked to open.
    bin_dir = xsession.tmp / "bin"
    bin_dir.mkdir()
    opened = xsession.tmp / "opened.txt"
    browser = bin_dir / "xdg-open"
    browser.write_text(f"#!/bin/sh\nprintf '%s\\n' \"$@\" >> '{opened}'\n")
    browser.chmod(0o755)
    xsession.env["PATH"] = f"{bin_dir}{os.pathsep}{xsession.env.get('PATH', '')}"
    xsession.env["LANG"] = "en_GB.UTF-8"
    overlay = start_overlay(xsession)
    # With drawing on the overlay takes the pointer everywhere: a click on the
    # link reaches the about box only if the box lies above the overlay.
    xsession.click(*overlay.write_rect)
    assert wait_until(overlay.drawing)

    overlay.click_tile(INFO)
    box = wait_until(lambda: about_box(xsession))
    assert box, "no about box"
    left, top, width, height = box
    assert (width, height) == (354, 176)

    # The name and version line starts at (92, 28): "KORIVAN D Ver." alone
    # ends about 105 pixels further on; the version takes it past 130.
    def text_end():
        shot = xsession.shot()
        dark = [x for x in range(left + 92, left + 340) for y in range(top + 28, top + 46)
                if sum(shot.getpixel((x, y))) < 200]
        return max(dark) - (left + 92) if dark else 0
    assert wait_until(lambda: text_end() > 130), f"no version after the name (text ends at {text_end()})"

    xsession.click(left + 20 + 154, top + 116 + 7)
    assert wait_until(lambda: opened.exists() and opened.read_text().strip()), "the help page was not opened"
    help_page = (Path(PROGRAM).parent / "../share/korivan-dsk/help/en/index.html").resolve().as_uri()
    assert opened.read_text().split() == [help_page]

    # The box has the keyboard: Enter is its OK.
    xsession.key("Return")
    assert wait_until(lambda: not about_box(xsession)), "Enter did not close it"
    assert overlay.alive()
