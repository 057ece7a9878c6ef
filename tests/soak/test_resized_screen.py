"""Saving after the screen changed size through RandR: the picture has the
new size and shows the strokes (the capture once kept to the size the screen
had when the program connected, and wrote a black picture on a taller one)."""

import shutil
import tempfile
import time
from pathlib import Path

import pytest

from session import SoakSession, picture_matches
from conftest import SAVE, differs, near, pictures_folder, saved, start_overlay, wait_until


NOTICE_SECONDS = 2.5  # a save's notice shows for two seconds


def settled(session):
    def same():
        first = session.shot()
        time.sleep(0.5)
        return not differs(session.shot(), first, [(0, 0, session.width, session.height)], 2)
    assert wait_until(same, 20), "the screen does not settle"


def test_save_after_the_screen_was_resized():
    session = SoakSession(Path(tempfile.mkdtemp(prefix="korivan-resize-")))
    try:
        session.start()
        if not session.can_resize:
            pytest.skip("no X server here that RandR can resize")
        folder = pictures_folder(session)
        overlay = start_overlay(session)
        bg = session.pixel(200, 300)
        # Taller than at the start, then larger every way.
        for w, h in ((1024, 768), (1600, 900)):
            session.resize(w, h)
            overlay.write_rect, overlay.mode_rect = (w - 45, 15), (w - 15, 15)
            assert wait_until(lambda: [x for x in session.windows_named("KORIVAN D") if x[1:] == (w, h)], 20)
            # The overlay redraws itself at the new size before it is drawn on.
            settled(session)
            if not overlay.drawing():
                session.click(*overlay.write_rect)
                assert wait_until(overlay.drawing)
            y = h - 150  # below the height the screen had at the start
            session.drag([(100 + 10 * i, y) for i in range(40)])
            screen = wait_until(lambda: (s := session.shot()) and not near(s.getpixel((300, y)), bg) and s)
            assert screen, "the stroke does not show"
            newest = max((p.stat().st_mtime_ns for p in folder.glob("*")), default=0)
            overlay.click_tile(SAVE)
            files = saved(folder, newest)
            assert files, "no picture"
            picture = max(files, key=lambda p: p.stat().st_mtime_ns)
            assert picture_matches(picture, screen, (0, 40, w - 150, h - 110), True) is None
            time.sleep(NOTICE_SECONDS)  # the save's notice is in no screenshot of the next round
    finally:
        session.stop()
        shutil.rmtree(session.tmp, ignore_errors=True)
