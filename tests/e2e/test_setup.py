"""The settings dialog over the overlay: opened from its tile, above the
overlay's strokes, typed into, confirmed and cancelled."""

from conftest import (SETUP_BLANK, SETUP_CANCEL, SETUP_OK, SWATCH0, near, open_setup, setup_dialog,
                      start_overlay, stroke, tile_colour, type_colour, wait_until)

STOCK0 = 0
BLACK = (0, 0, 0)
ORANGE = (0xFF, 0x80, 0x00)


def test_setup_dialog_opens_above_the_overlays_strokes(xsession):
    xsession.test_window("korivan-e2e-below", 100, 100, 1600, 900, "c0c0c0")
    overlay = start_overlay(xsession)
    overlay.click_tile(STOCK0)
    assert wait_until(overlay.drawing), "the stock pen tile did not switch drawing on"
    # A black stroke right across the screen's middle, where the dialog opens.
    w, h = xsession.width, xsession.height
    row = h // 2 + 210
    xsession.drag([(x, row) for x in range(300, w - 300, 40)])
    assert wait_until(lambda: near(xsession.pixel(w // 2, row), BLACK, 8)), "no stroke under the dialog"

    dx, dy = open_setup(xsession, overlay)
    assert dy <= row < dy + 492
    assert wait_until(lambda: all(c > 200 for c in xsession.pixel(dx + SETUP_BLANK[0], row)), 5), \
        "the stroke shows through the dialog"
    assert near(xsession.pixel(300, row), BLACK, 8), "the stroke outside the dialog is gone"


def test_setup_dialog_ok_changes_the_tile_and_the_pen_and_cancel_nothing(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1600, 900, "c0c0c0")
    overlay = start_overlay(xsession)
    assert near(tile_colour(xsession, overlay, STOCK0), BLACK, 8)
    w, h = xsession.width, xsession.height

    # Centred on the screen, and it takes the keyboard: the typed digits
    # colour stock pen 0's swatch.
    dx, dy = open_setup(xsession, overlay)
    assert abs(dx + 245 - w // 2) < 40 and abs(dy + 246 - h // 2) < 40, f"dialog at {dx},{dy}"
    type_colour(xsession, (dx, dy), "ff8000")
    assert wait_until(lambda: near(xsession.pixel(dx + SWATCH0[0], dy + SWATCH0[1]), ORANGE, 8)), \
        "typing did not reach the dialog"
    xsession.click(dx + SETUP_OK[0], dy + SETUP_OK[1])
    assert wait_until(lambda: setup_dialog(xsession) is None), "OK did not close the dialog"

    # The first tile and the next stroke drawn with it are orange now.
    assert wait_until(lambda: near(tile_colour(xsession, overlay, STOCK0), ORANGE, 8)), "tile colour unchanged"
    overlay.click_tile(STOCK0)
    assert wait_until(overlay.drawing), "the stock pen tile did not switch drawing on"
    y = below.y + 150
    stroke(xsession, below.x + 100, y)
    assert wait_until(lambda: near(xsession.pixel(below.x + 250, y), ORANGE, 8)), "the stroke is not orange"

    # Cancel after an edit changes nothing; with drawing on the dialog still
    # takes the pointer.
    dx, dy = open_setup(xsession, overlay)
    type_colour(xsession, (dx, dy), "0000ff")
    assert wait_until(lambda: near(xsession.pixel(dx + SWATCH0[0], dy + SWATCH0[1]), (0, 0, 255), 8))
    xsession.click(dx + SETUP_CANCEL[0], dy + SETUP_CANCEL[1])
    assert wait_until(lambda: setup_dialog(xsession) is None), "Cancel did not close the dialog"
    assert near(tile_colour(xsession, overlay, STOCK0), ORANGE, 8), "Cancel changed the tile"
    overlay.click_tile(STOCK0)
    assert wait_until(overlay.drawing)
    stroke(xsession, below.x + 100, y + 100)
    assert wait_until(lambda: near(xsession.pixel(below.x + 250, y + 100), ORANGE, 8)), "Cancel changed the pen"
