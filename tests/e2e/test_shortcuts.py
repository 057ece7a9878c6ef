"""Shortcuts of the HotKeys settings on any keyboard, and the command line
of the running overlay."""

import configparser
import subprocess
import time

from conftest import HELPER, PROGRAM, SETUP_OK, Overlay, open_setup, pictures_folder, saved, start_overlay, wait_until

SETUP_INI = """[Setup]
ImageTypeDefault=2
[HotKeys]
Toggle=Ctrl+Alt+D
Save=Ctrl+Hyper+Banana
EraseAll=Ctrl+Alt+E
App=
NextPen=
"""


def hot_keys_written(overlay):
    ini = configparser.ConfigParser(interpolation=None)
    ini.optionxform = str
    ini.read_string(overlay.setup_ini.read_text())
    return ini.sections()[-1], dict(ini["HotKeys"])


def test_shortcut_toggles_once_per_press_and_the_window_in_front_keeps_the_keyboard(xsession):
    # Another program holds Ctrl+Alt+E before the overlay starts.
    held = xsession.tmp / "grab.txt"
    xsession.spawn("grab", [HELPER, "grab", str(held), "65", "c"])  # keysym e, Control|Mod1
    assert wait_until(lambda: held.exists() and "grabbed" in held.read_text()), "the key was not grabbed"
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession, SETUP_INI)
    xsession.xdotool("windowactivate", "--sync", below.id)

    # Tapped: drawing on, exactly once.
    xsession.key("ctrl+alt+d")
    assert wait_until(overlay.drawing), "the shortcut did not switch drawing on"
    time.sleep(0.6)
    assert overlay.drawing(), "one tap toggled more than once"
    assert xsession.active_window() == below.id, "the window in front lost the keyboard"

    # Held for a while, auto-repeat and all: drawing off, exactly once.
    xsession.xdotool("keydown", "ctrl+alt+d")
    assert wait_until(overlay.passing), "the held shortcut did not switch drawing off"
    time.sleep(1.0)
    xsession.xdotool("keyup", "ctrl+alt+d")
    time.sleep(0.6)
    assert overlay.passing(), "a held shortcut toggled more than once"

    typed = below.keys()
    xsession.key("a")
    assert wait_until(lambda: below.keys() > typed), "a typed key did not reach the window in front"

    # The two that could not be had are named on standard error, once each.
    log = (xsession.tmp / "app.log").read_text()
    assert log.count("shortcut Save=Ctrl+Hyper+Banana is not a key sequence") == 1, log
    assert log.count("shortcut EraseAll=Ctrl+Alt+E cannot be had") == 1, log
    assert log.count("shortcut ") == 2, log

    # Written back as read, as the last section of the file.
    overlay.proc.terminate()
    assert overlay.proc.wait(timeout=10) == 0
    section, keys = hot_keys_written(overlay)
    assert section == "HotKeys"
    assert keys == {"Toggle": "Ctrl+Alt+D", "Save": "Ctrl+Hyper+Banana", "EraseAll": "Ctrl+Alt+E",
                    "App": "", "NextPen": ""}


def overlay_windows(session):
    return [w for w in session.windows_named("KORIVAN D") if w[1:] == (session.width, session.height)]


def test_command_line_of_the_running_overlay(xsession):
    def second(*args):
        t0 = time.monotonic()
        done = subprocess.run([PROGRAM, *args], env=xsession.env, capture_output=True, text=True, timeout=30)
        return done, time.monotonic() - t0

    # Nothing runs: an unknown option starts nothing; commands but --toggle report it.
    done, _ = second("--frobnicate")
    assert done.returncode == 2 and "--toggle" in done.stderr and done.stdout == ""
    done, _ = second("--save")
    assert (done.returncode, done.stderr) == (1, "KORIVAN DSK is not running\n")
    done, _ = second("--version")
    assert done.returncode == 0 and done.stdout.startswith("korivan-dsk ")
    assert not overlay_windows(xsession)

    # --toggle starts the overlay with drawing on.
    folder = pictures_folder(xsession)
    proc = xsession.spawn("app", [PROGRAM, "--toggle"])
    found = wait_until(lambda: overlay_windows(xsession), 20)
    assert found, "--toggle did not start the overlay"
    overlay = Overlay(xsession, proc, found[0][0])
    assert wait_until(overlay.drawing, 10), "--toggle did not switch drawing on"

    # From a second process: each ends at once with status 0 and maps no window.
    windows = xsession.run("xwininfo", "-root", "-children").stdout.count("\n")
    done, took = second("--toggle")
    assert done.returncode == 0 and took < 5, done.stderr
    assert wait_until(overlay.passing), "--toggle from a second process did not switch drawing off"
    done, _ = second("--save")
    assert done.returncode == 0, done.stderr
    assert saved(folder), "--save wrote no picture"
    assert xsession.run("xwininfo", "-root", "-children").stdout.count("\n") == windows
    assert len(overlay_windows(xsession)) == 1

    done, _ = second("--quit")
    assert done.returncode == 0, done.stderr
    assert proc.wait(timeout=10) == 0, "--quit did not end the overlay"
    assert overlay.setup_ini.exists(), "--quit did not write the settings"


# In the settings dialog's client area: the Detailed tab, the Drawing on/off
# shortcut field and OK.
DETAILED_TAB, TOGGLE_FIELD = (363, 17), (260, 173)


def test_a_shortcut_typed_in_setup_works_once_ok_is_pressed(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession)
    at = open_setup(xsession, overlay)
    xsession.click(at[0] + DETAILED_TAB[0], at[1] + DETAILED_TAB[1])
    xsession.click(at[0] + TOGGLE_FIELD[0], at[1] + TOGGLE_FIELD[1])
    xsession.key("ctrl+alt+d")
    xsession.click(at[0] + SETUP_OK[0], at[1] + SETUP_OK[1])

    xsession.xdotool("windowactivate", "--sync", below.id)
    xsession.key("ctrl+alt+d")
    assert wait_until(overlay.drawing), "the shortcut typed in Setup did not switch drawing on"
    assert xsession.active_window() == below.id
    xsession.run(PROGRAM, "--quit")
    assert overlay.proc.wait(timeout=10) == 0
    assert hot_keys_written(overlay)[1]["Toggle"] == "Ctrl+Alt+D"
