"""A second monitor beside the first and gone again, then a lasso selection
on the main window: when the primary screen changed, the surfaces changed
windows but not their hover callbacks, and the main window's then named an
overlay deleted with its monitor (a use after free on the selection's
release; the sanitizer build reports it, the normal one need not show it)."""

import random
import shutil
import tempfile
from pathlib import Path

import pytest

from session import SoakSession, sanitizer_reports
from soak import Soak, program_env, start_program
from actions import lasso_move
from monitors import monitors


def test_lasso_after_a_second_monitor_came_and_went():
    tmp = Path(tempfile.mkdtemp(prefix="korivan-monitors-"))
    session = SoakSession(tmp)
    try:
        session.start()
        if not session.can_resize:
            pytest.skip("no X server here that RandR can resize")
        session.run("xsetroot", "-solid", "#c0c0c0")
        lsan = Path(__file__).resolve().parent.parent / "lsan.supp"
        soak = Soak(session, start_program(session, program_env(session, lsan)), tmp, 30)
        soak.bg = session.pixel(200, 300)
        rng = random.Random(1)
        for _ in range(2):
            monitors(soak, rng)
            lasso_move(soak, rng)
        assert not sanitizer_reports(tmp / "app.log"), sanitizer_reports(tmp / "app.log")[0]
        assert soak.overlay.alive()
    finally:
        session.stop()
        shutil.rmtree(tmp, ignore_errors=True)
