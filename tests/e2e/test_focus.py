"""Where the keyboard is: clicks on the overlay's own controls, keys while
a dialog is up, no window raised when none was active, the dialogs'
captions, and the column's timer that only hides."""

import time

from conftest import (INFO, SETUP_CANCEL, UNDO, about_box, near, open_setup, start_overlay, stroke,
                      wait_until)

RED = (255, 0, 0)


def test_a_click_on_a_tile_gives_the_overlay_the_keyboard(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession)
    xsession.xdotool("windowactivate", "--sync", below.id)
    xsession.key("KP_Multiply")
    assert wait_until(overlay.drawing), "multiply did not switch drawing on"

    # After a click on Undo, keypad divide reaches the overlay: stock pen 1 (red) draws.
    overlay.click_tile(UNDO)
    typed = below.keys()
    xsession.key("KP_Divide")
    y = below.y + 300
    stroke(xsession, below.x + 100, y)
    assert wait_until(lambda: near(xsession.pixel(below.x + 300, y), RED, 8)), "keypad divide did not change the pen"
    assert below.keys() == typed, "keypad divide went to the window before"

    # Switching drawing off gives the keyboard back to the window before.
    xsession.key("KP_Multiply")
    assert wait_until(overlay.passing), "multiply did not switch drawing off"
    assert wait_until(lambda: xsession.active_window() == below.id), "the window before did not get the keyboard back"


def window_name(session, wid):
    return session.run("xdotool", "getwindowname", str(wid)).stdout.rstrip("\n")


def test_a_key_during_a_dialog_does_nothing_later_and_the_captions_are_exact(xsession):
    overlay = start_overlay(xsession)

    overlay.click_tile(INFO)
    assert wait_until(lambda: about_box(xsession)), "no about box"
    ids = xsession.run("xdotool", "search", "--onlyvisible", "--name", "^About", check=False).stdout.split()
    assert [window_name(xsession, i) for i in ids] == ["About This Application"]
    xsession.key("KP_Multiply")
    xsession.key("Return")
    assert wait_until(lambda: not about_box(xsession)), "Return did not close the about box"
    time.sleep(0.6)
    assert overlay.passing(), "multiply pressed during the about box switched drawing afterwards"

    at = open_setup(xsession, overlay)
    ids = xsession.run("xdotool", "search", "--onlyvisible", "--name", "^Setup", check=False).stdout.split()
    assert [window_name(xsession, i) for i in ids] == ["Setup"]
    xsession.key("KP_Multiply")
    xsession.click(at[0] + SETUP_CANCEL[0], at[1] + SETUP_CANCEL[1])
    assert wait_until(lambda: not xsession.run("xdotool", "search", "--onlyvisible", "--name", "^Setup",
                                               check=False).stdout.split()), "Cancel did not close Setup"
    time.sleep(0.6)
    assert overlay.passing(), "multiply pressed during Setup switched drawing afterwards"


def test_no_window_is_raised_when_none_was_active(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession)
    xsession.xdotool("windowactivate", "--sync", below.id)
    time.sleep(0.3)  # a tick of the overlay's timer remembers the window in front
    xsession.xdotool("windowminimize", "--sync", below.id)
    assert wait_until(lambda: xsession.active_window() == 0), "a window is still active"

    def minimised():
        return "IsUnMapped" in xsession.run("xwininfo", "-id", str(below.id)).stdout

    for on in (True, False):
        xsession.key("KP_Multiply")
        assert wait_until(overlay.drawing if on else overlay.passing), "multiply did not switch drawing"
        time.sleep(0.5)
        assert minimised(), "the minimised window was raised"


def test_the_column_timer_only_hides(xsession):
    overlay = start_overlay(xsession)
    # A stock pen tile, then at once a quick stroke that ends over the column.
    x, y = overlay.tile(1)
    xsession.xdotool("mousemove", x, y, "click", 1, "mousemove", 1500, 500, "mousedown", 1,
                     "mousemove", 1700, 500, "mousemove", 1919, 500, "mouseup", 1)
    assert wait_until(overlay.drawing), "the stock pen tile did not switch drawing on"
    assert wait_until(lambda: not overlay.column_shown(), 5), "the column did not hide"
    time.sleep(1.0)  # past another tick of the timer
    assert not overlay.column_shown(), "the timer showed the column again"

    # One click on the mode button shows it, and it stays.
    xsession.click(*overlay.mode_rect)
    assert wait_until(overlay.column_shown), "the mode button did not show the column"
    time.sleep(1.0)
    assert overlay.column_shown(), "the column hid again"
