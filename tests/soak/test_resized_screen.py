"""Saving after the screen changed size through RandR: the picture has the
new size and shows the strokes (the capture once kept to the size the screen
had when the program connected, and wrote a black picture on a taller one)."""

import os
import tempfile
from pathlib import Path

import pytest

from session import SoakSession, picture_matches
from conftest import SAVE, near, pictures_folder, saved, start_overlay, wait_until


def test_save_after_the_screen_was_resized():
    session = SoakSession(Path(tempfile.mkdtemp(prefix="korivan-resize-")))
    try:
        session.start()
        if not session.can_resize:
            pytest.skip("no X server here that RandR can resize")
        session.run("xsetroot", "-solid", "#c0c0c0")
        folder = pictures_folder(session)
        overlay = start_overlay(session)
        # Taller than at the start, then larger every way.
        for w, h in ((1024, 768), (1600, 900)):
            session.resize(w, h)
            overlay.write_rect = (w - 45, 15)
            assert wait_until(lambda: [x for x in session.windows_named("KORIVAN D") if x[1:] == (w, h)], 20)
            if not overlay.drawing():
                session.click(*overlay.write_rect)
                assert wait_until(overlay.drawing)
            y = h - 150  # below the height the screen had at the start
            session.drag([(100 + 10 * i, y) for i in range(40)])
            screen = wait_until(lambda: (s := session.shot()) and not near(s.getpixel((300, y)), (0xC0,) * 3) and s)
            assert screen, "the stroke does not show"
            newest = max((p.stat().st_mtime_ns for p in folder.glob("*")), default=0)
            overlay.click_tile(SAVE)
            files = saved(folder, newest)
            assert files, "no picture"
            picture = max(files, key=lambda p: p.stat().st_mtime_ns)
            assert picture_matches(picture, screen, (0, 40, w - 150, h - 110), True) is None
    finally:
        session.stop()
