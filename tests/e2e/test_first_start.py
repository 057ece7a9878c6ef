"""A first start on a bare account: the home folder exists, but not the
folders the program writes to."""

import re
import subprocess

from conftest import PROGRAM, start_overlay, wait_until

SAVE, CLOSE = 10, 14  # tiles of the factory column


def program_windows(session, pid, overlay):
    """The program's mapped windows but the overlay's own parts (its corner
    buttons and column have windows of their own); Qt's helper windows are
    never mapped."""
    out = session.run("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).stdout
    tree = session.run("xwininfo", "-id", str(overlay), "-tree", check=False).stdout
    parts = {int(m, 16) for m in re.findall(r"^\s+(0x[0-9a-f]+)", tree, re.M)}
    return sorted(int(w) for w in out.split() if int(w) not in parts)


def test_first_start_makes_the_missing_folders_without_a_word(xsession):
    run = xsession.tmp / "run-not-made"
    xsession.env["XDG_RUNTIME_DIR"] = str(run)
    data = xsession.home / ".local/share"
    pictures = xsession.home / "Pictures"
    assert not run.exists() and not data.exists() and not pictures.exists()

    overlay = start_overlay(xsession)
    assert (run / "KORIVAN_ORVEL_NET").exists(), "the instance lock is not in the runtime folder"
    # A second start finds the first one's lock there and ends at once.
    assert subprocess.run([PROGRAM], env=xsession.env, timeout=30).returncode == 0

    overlay.click_tile(SAVE)
    saved = wait_until(lambda: pictures.is_dir() and
                       [p for p in pictures.iterdir() if re.match(r"^\d{8}_\d{6}\.jpg$", p.name)], 20)
    assert saved, "no picture in the pictures folder"
    assert program_windows(xsession, overlay.proc.pid, overlay.window) == [overlay.window], "another window showed"

    overlay.click_tile(CLOSE)
    assert overlay.proc.wait(timeout=20) == 0
    assert overlay.setup_ini.is_file()
    log = (xsession.tmp / "app.log").read_text(errors="replace")
    assert not log.strip(), f"the program said something: {log}"
