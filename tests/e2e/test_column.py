"""The tile column and the hot keys, as a user meets them."""

import time

from conftest import near, start_overlay, stroke, wait_until

RED = (0xE5, 0x14, 0x00)  # the Close tile
# The factory column: stock pens 0-4, Pen Setup, Undo, Redo, Eraser,
# Erase All, Save, Info, then Menu, Setup and Close.
STOCK1, UNDO, REDO, ERASER, CLOSE = 1, 6, 7, 8, 14


def test_tiles_draw_erase_undo_redo_and_close(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession)
    w = xsession.width
    shot = xsession.shot()
    # Fifteen tiles: Close alone in row 8, red and two tiles wide.
    cx, cy = overlay.tile(CLOSE)
    assert cy == 30 + 7 * 70 + 35
    assert near(shot.getpixel((w - 135 + 10, cy)), RED) and near(shot.getpixel((w - 15, cy)), RED)

    # A stock pen tile switches drawing on; stock pen 1 draws red.
    assert overlay.passing()
    overlay.click_tile(STOCK1)
    assert wait_until(overlay.drawing), "the stock pen tile did not switch drawing on"
    y = below.y + 200
    stroke(xsession, below.x + 100, y)
    at = (below.x + 300, y)
    assert wait_until(lambda: near(xsession.pixel(*at), (255, 0, 0), 8)), "the stroke is not red"

    # The eraser clears what it crosses; undo brings it back, redo clears it again.
    overlay.click_tile(ERASER)
    xsession.drag([(at[0], y - 60 + i * 10) for i in range(13)])
    assert wait_until(lambda: near(xsession.pixel(*at), below.colour)), "the eraser left the stroke"
    assert near(xsession.pixel(below.x + 150, y), (255, 0, 0), 8), "the eraser cleared too much"
    overlay.click_tile(UNDO)
    assert wait_until(lambda: near(xsession.pixel(*at), (255, 0, 0), 8)), "undo did not bring the stroke back"
    overlay.click_tile(REDO)
    assert wait_until(lambda: near(xsession.pixel(*at), below.colour)), "redo did not erase again"

    # Close ends the program and writes the settings.
    assert not overlay.setup_ini.exists()
    overlay.click_tile(CLOSE)
    assert overlay.proc.wait(timeout=10) == 0
    assert overlay.setup_ini.exists()


def test_hot_keys_with_another_window_in_front(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession)
    xsession.xdotool("windowactivate", "--sync", below.id)

    # One quick tap switches drawing on, exactly once.
    xsession.key("KP_Multiply")
    assert wait_until(overlay.drawing), "multiply did not switch drawing on"
    time.sleep(0.6)
    assert overlay.drawing(), "one tap toggled more than once"

    # A stroke with stock pen 0 (black); keypad minus erases it.
    y = below.y + 200
    at = (below.x + 300, y)
    stroke(xsession, below.x + 100, y)
    assert wait_until(lambda: near(xsession.pixel(*at), (0, 0, 0), 8)), "no stroke"
    xsession.key("KP_Subtract")
    assert wait_until(lambda: near(xsession.pixel(*at), below.colour)), "keypad minus did not erase"

    # Keypad divide: the next stock pen (1, red) draws the next stroke.
    xsession.key("KP_Divide")
    stroke(xsession, below.x + 100, y + 100)
    assert wait_until(lambda: near(xsession.pixel(at[0], y + 100), (255, 0, 0), 8)), \
        "keypad divide did not change the pen"

    # Keys while a stroke is drawn do nothing.
    sx, sy = below.x + 100, y + 200
    xsession.xdotool("mousemove", sx, sy, "mousedown", 1, "mousemove", sx + 100, sy)
    xsession.key("KP_Subtract")
    xsession.key("KP_Multiply")
    xsession.xdotool("mousemove", sx + 200, sy, "mousemove", sx + 300, sy, "mouseup", 1)
    assert wait_until(lambda: near(xsession.pixel(sx + 250, sy), (255, 0, 0), 8)), \
        "a key during the stroke broke it"
    time.sleep(0.5)
    assert near(xsession.pixel(at[0], y + 100), (255, 0, 0), 8), "keypad minus acted during a stroke"
    assert overlay.drawing(), "keypad multiply acted during a stroke"

    # Multiply again: drawing off, and the window in front has the keyboard back.
    xsession.key("KP_Multiply")
    assert wait_until(overlay.passing), "multiply did not switch drawing off"
    time.sleep(0.6)
    assert overlay.passing(), "one tap toggled more than once"
    assert wait_until(lambda: xsession.active_window() == below.id), "the window in front did not get the focus back"
    typed = below.keys()
    xsession.key("a")
    assert wait_until(lambda: below.keys() > typed), "a typed key did not reach the window in front"
