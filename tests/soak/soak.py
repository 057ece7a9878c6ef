#!/usr/bin/env python3
"""Random but valid use of the whole program for a given time, each step
checked on the screen or in the files written; the program is the sanitizer
build. The seed is printed first; the same seed gives the same actions.

  soak.py --minutes M [--seed S] --program PROGRAM --helper HELPER [--artifacts DIR]
          [--verbose] [--keep-going] [--only KINDS] [--bound SECONDS]
"""

import argparse
import configparser
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import traceback
from collections import Counter
from pathlib import Path

from session import SoakSession, Memory, picture_matches, sanitizer_reports  # also sets up conftest's path
import conftest
from conftest import (MENU, RED_TILE, Overlay, differs, near, pictures_folder,
                      tile_centre, wait_until, windows_titled)
import actions
import commands  # noqa: F401  (these two register kinds of action)
import monitors  # noqa: F401
from actions import ACTIONS, EXTENSIONS, Fault, L_SAVE_AS, close_program, launcher_origin, launcher_tile

GREY = (0xC0, 0xC0, 0xC0)
FACTORY_INI = {("Setup", "ImageTypeDefault"): "1", ("Pen", "isSmoothing"): "1",
               ("Mark", "PenColor0"): str(0x000000), ("Mark", "PenColor1"): str(0xFF0000),
               ("Mark", "PenColor2"): str(0x0000FF), ("Mark", "PenColor3"): str(0x00FFFF),
               ("Mark", "PenColor4"): str(0xFFFF00),
               ("Display", "isAllScreens"): "1",
               **{("HotKeys", name): chord for name, chord in commands.HOT_KEYS.items()}}


class Soak:
    def __init__(self, session: SoakSession, overlay: Overlay, tmp: Path, bound: float):
        self.session, self.overlay, self.bound = session, overlay, bound
        self.tool, self.drawing = actions.UNKNOWN, False
        self.kinds = Counter()
        self.ini = dict(FACTORY_INI)
        self.image_type = 1
        self.pictures = pictures_folder(session, "Pictures")
        self.save_as_dir = tmp / "saved-as"
        self.save_as_dir.mkdir()
        self.counter = 0
        self.checked = Counter()
        self.locked = None
        self.bg = GREY
        self.last = None
        self.notice_gone = 0.0
        self.keep_going = False
        self.slowest = {}  # action -> its longest time, seconds
        self.findings = []
        self.program_env = None  # the environment the program runs in, sanitizer options and all

    # -- looking -------------------------------------------------------------
    def shot(self):
        self.last = self.session.shot()
        return self.last

    def expect(self, probe, what):
        """Waits up to the bound for the probe; its value, or a Fault."""
        if not self.overlay.alive():
            raise Fault(f"the program ended (status {self.overlay.proc.returncode}) before: {what}")
        value = wait_until(probe, self.bound, 0.1)
        if not value:
            if not self.overlay.alive():
                raise Fault(f"the program ended (status {self.overlay.proc.returncode}): {what}")
            raise Fault(what)
        return value

    def canvas(self):
        """Where strokes go: clear of the column, the corner buttons, the notice."""
        w, h = self.session.width, self.session.height
        return (30, 60, w - 190, h - 120)

    def canvas_box(self):
        x0, y0, x1, y1 = self.canvas()
        return (x0 - 20, y0 - 20, x1 + 20, y1 + 20)

    def same(self, a, b, box):
        return not differs(a, b, [box], 6)

    def blank(self, shot):
        return not differs(shot, self.bg, [self.canvas_box()], 6)

    def settled_shot(self):
        """The screen once two shots a moment apart agree on the canvas, and
        the last save's notice (two seconds) has gone."""
        time.sleep(max(0.0, self.notice_gone - time.monotonic()))
        box, prev = self.canvas_box(), self.shot()
        def settled():
            nonlocal prev
            now = self.shot()
            same, prev = self.same(now, prev, box), now
            return now if same else None
        return self.expect(settled, "the screen does not settle")

    def finding(self, what):
        """A fault that leaves the run able to go on: with --keep-going it is
        counted and reported at the end, else the run stops on it."""
        if not self.keep_going:
            raise Fault(what)
        self.findings.append(what)
        print(f"soak: FINDING: {what}", flush=True)
        self.session.shot().save(self.session.tmp / f"finding-{len(self.findings)}.png")

    def kind(self, name):
        self.kinds[name] += 1

    # -- acting ----------------------------------------------------------------
    def click_tile(self, index):
        if not self.overlay.alive():
            raise Fault(f"the program ended (status {self.overlay.proc.returncode})")
        s = self.session
        s.xdotool("mousemove", *self.overlay.tile(index))
        if not wait_until(self.overlay.column_shown, 0.3, 0.1):
            s.click(*self.overlay.mode_rect)
            if not wait_until(self.overlay.column_shown, self.bound, 0.1):
                # Once in an hour's run the column stayed hidden: a user
                # clicks again, and the run says so.
                self.finding("the column did not show after a click on its switch")
                s.click(*self.overlay.mode_rect)
                self.expect(self.overlay.column_shown, "the column did not show after a second click")
            s.xdotool("mousemove", *self.overlay.tile(index))
        s.click(*self.overlay.tile(index))

    def click_in(self, at, point):
        self.session.click(at[0] + point[0], at[1] + point[1])

    def type_in(self, at, point, text):
        self.click_in(at, point)
        self.session.key("ctrl+a")
        self.session.xdotool("type", "--delay", "20", text)
        self.session.key("Return")

    def random_colour(self, rng):
        """An opaque colour well apart from the desktop's grey."""
        while True:
            c = rng.randrange(0x1000000)
            rgb = (c >> 16, (c >> 8) & 255, c & 255)
            if max(abs(a - b) for a, b in zip(rgb, self.bg)) > 60:
                return c

    def open_launcher(self):
        self.click_tile(MENU)
        close = tile_centre(launcher_origin(self.session), 435, 5)
        self.expect(lambda: near(self.session.pixel(*close), RED_TILE), "the launcher did not show")

    def launcher_closed(self):
        return not near(self.session.pixel(*tile_centre(launcher_origin(self.session), 435, 5)), RED_TILE)

    def save_as_dialog(self, kind, target):
        self.open_launcher()
        self.session.click(*launcher_tile(self.session, L_SAVE_AS))
        self.fill_save_as(kind, target)

    def fill_save_as(self, kind, target, confirm_replace=False):
        s = self.session
        dialog = self.expect(lambda: windows_titled(s, "Image Save As"), "no Save As dialog")[0]
        box = self.expect(lambda: conftest.client_rect(s, dialog), "the Save As dialog has no place")
        self.expect(lambda: s.active_window() == dialog, "the Save As dialog does not have the keyboard")
        # The type list: its entries are chosen with the keys once its list
        # (a window of its own) shows, since Enter with the list closed would
        # take the dialog.
        shown = lambda: set(s.run("xdotool", "search", "--onlyvisible", "--classname", ".",
                                  check=False).stdout.split())
        closed = shown()
        s.click(box[0] + 310, box[1] + box[3] - 24)
        self.expect(lambda: shown() - closed, "the type list of Save As does not open")
        s.key("Home", *["Down"] * (kind - 1), "Return")
        s.click(box[0] + 310, box[1] + box[3] - 54)  # the name
        s.key("ctrl+a")
        s.xdotool("type", "--delay", "10", str(target))
        s.key("Return")
        # Enter pressed while the name's completion list shows only closes
        # the list; a user presses it again.
        if not wait_until(lambda: dialog not in windows_titled(s, "Image Save As"), self.bound / 2, 0.1):
            s.key("Return")
        if confirm_replace:
            # Whether the dialog asks before replacing a file is its own affair.
            def asked_or_gone():
                titled = windows_titled(s, "Image Save As")
                return [w for w in titled if w != dialog] or (dialog not in titled and ["gone"])
            ask = self.expect(asked_or_gone, "the Save As dialog neither asks nor closes")[0]
            if ask != "gone":
                self.expect(lambda: s.active_window() == ask, "the question does not have the keyboard")
                s.key("y")
        self.expect(lambda: dialog not in windows_titled(s, "Image Save As"), "the Save As dialog stays")

    def visible_titled(self, start):
        out = self.session.run("xdotool", "search", "--onlyvisible", "--name", f"^{start}", check=False).stdout
        return [int(w) for w in out.split()]

    def close_message(self, what, known):
        """The program's message about a failed save, a window of its own
        besides the `known` ones: it shows; Return closes it."""
        s = self.session
        box = self.expect(lambda: [w for w in self.visible_titled("KORIVAN D") if w not in known],
                          f"no message about {what}")[0]
        # Enter, as a user would press it once the message shows.
        gone = lambda: box not in self.visible_titled("KORIVAN D")
        if not wait_until(lambda: s.active_window() == box, self.bound, 0.1):
            self.finding(f"the message about {what} does not get the keyboard")
            s.run("xdotool", "windowactivate", "--sync", str(box), check=False)
        s.key("Return")
        self.expect(gone, f"Enter does not close the message about {what}")

    def save(self, act, expect, how, path=None, boxes=None):
        """Saves as the user asked; the picture must come and show what the
        screen did. A hot key the program did not have is only counted."""
        screen = self.settled_shot()
        before = {p: p.stat().st_mtime_ns for p in self.pictures.glob("*")} if self.pictures.is_dir() else {}
        act()
        ext = path.suffix[1:] if path else EXTENSIONS[self.image_type]

        def written():
            if path:
                return path if path.exists() else None
            files = list(self.pictures.glob("*")) if self.pictures.is_dir() else []
            if any(not conftest.PICTURE_NAME.match(p.name) for p in files):
                return None  # a writer's temporary file: not done yet
            new = [p for p in files if before.get(p) != p.stat().st_mtime_ns]
            return new[0] if new else None
        if not expect:
            self.kind(f"save-{how}-elsewhere")
            return
        found = self.expect(written, f"{how}: no picture written")
        self.notice_gone = time.monotonic() + 2.5
        if found.suffix != "." + ext:
            raise Fault(f"{how}: wrote {found.name}, not a .{ext}")
        w, h = self.session.width, self.session.height
        # Outside the column and the notice.
        why = next(filter(None, (picture_matches(found, screen, box, ext == "jpg")
                                 for box in boxes or [(0, 40, w - 150, h - 110)])), None)
        if why:
            keep = self.session.tmp / f"screen-for-{found.name}.png"
            screen.save(keep)
            raise Fault(f"{how}: {why}")
        self.checked[ext] += 1
        self.kind(f"save-{how}")

    # -- the folder that cannot be written ---------------------------------------
    def lock_folder(self, folder: Path, rng):
        folder.mkdir()
        for ext in EXTENSIONS.values():
            (folder / f"keep.{ext}").write_bytes(rng.randbytes(4096))
        os.chmod(folder, 0o555)
        if os.geteuid() == 0:
            subprocess.run(["chattr", "+i", str(folder)], capture_output=True)
        try:
            (folder / "probe").write_bytes(b"")
        except OSError:
            self.locked = folder
            return
        (folder / "probe").unlink()
        print("soak: no folder can be made unwritable here; refused saves are left out", flush=True)

    def unlock_folder(self):
        if self.locked:
            subprocess.run(["chattr", "-i", str(self.locked)], capture_output=True)
            os.chmod(self.locked, 0o755)


def program_env(session, lsan):
    """The session's environment with the sanitizers' options for the program
    alone (the helpers may be sanitizer builds that never free their connection)."""
    return dict(session.env, ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:quarantine_size_mb=64",
                LSAN_OPTIONS=f"suppressions={lsan}:print_suppressions=0",
                UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")


def start_program(session, env):
    """start_overlay's program, its shortcuts and "All screens" set in Setup.ini beforehand."""
    folder = session.home / ".local/share/ORVEL PROJECT/KORIVAN DSK"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "Setup.ini").write_text("[Display]\nisAllScreens=1\n" + commands.setup_ini_text())
    plain, session.env = session.env, env
    try:
        proc = session.spawn("app", [conftest.PROGRAM])
    finally:
        session.env = plain
    size = (session.width, session.height)
    found = wait_until(lambda: [w for w in session.windows_named("KORIVAN D") if w[1:] == size], 60)
    if not found:
        raise Fault("no overlay window")
    overlay = Overlay(session, proc, found[0][0])
    if not (wait_until(overlay.passing, 30) and wait_until(overlay.column_shown, 30)):
        raise Fault("the overlay did not come up: input shape or column missing")
    return overlay


def read_ini(path):
    ini = configparser.ConfigParser(interpolation=None)
    ini.optionxform = str
    ini.read(path)
    return ini


def run(args):
    seed = args.seed if args.seed is not None else random.randrange(1 << 32)
    print(f"soak: seed {seed}, {args.minutes} minutes (replay: scripts/soak.sh {args.minutes} {seed})", flush=True)
    rng = random.Random(seed)
    conftest.PROGRAM, conftest.HELPER = args.program, args.helper
    tmp = Path(tempfile.mkdtemp(prefix="korivan-soak-"))
    session = SoakSession(tmp)
    soak = None
    failed = None
    weights = [(name, w) for name, (w, _) in ACTIONS.items() if not args.only or name in args.only.split(",")]
    done = 0
    try:
        session.start()
        # The desktop's grey, where strokes are drawn and compared.
        session.run("xsetroot", "-solid", "#c0c0c0", check=False)
        env = program_env(session, args.lsan)
        overlay = start_program(session, env)
        soak = Soak(session, overlay, tmp, args.bound)
        soak.program_env = env
        soak.keep_going = args.keep_going
        soak.bg = session.pixel(200, 300)
        if differs(session.last_shot, soak.bg, [soak.canvas_box()], 2):
            raise Fault("the desktop is not of one colour")
        soak.lock_folder(tmp / "locked", rng)
        memory = Memory(overlay.proc.pid, min(300, args.minutes * 60 / 2))
        end = time.monotonic() + args.minutes * 60
        while time.monotonic() < end:
            name = rng.choices([n for n, _ in weights], [w for _, w in weights])[0]
            done += 1
            began = time.monotonic()
            try:
                ACTIONS[name][1](soak, rng)
            except Fault as f:
                raise Fault(f"action {done} ({name}): {f}") from None
            took = time.monotonic() - began
            soak.slowest[name] = max(soak.slowest.get(name, 0.0), took)
            if args.verbose:
                print(f"soak: {done:5} {name:16} {took:6.1f} s", flush=True)
            soak.kinds[name] += 1
            memory.sample()
            reports = sanitizer_reports(tmp / "app.log")
            if reports:
                raise Fault(f"after action {done} ({name}), a sanitizer report: {reports[0]}")
        memory.sample(force=True)
        close_program(soak)
        reports = sanitizer_reports(tmp / "app.log")
        if reports:
            raise Fault(f"a sanitizer report at the end: {reports[0]}")
        ini = read_ini(overlay.setup_ini)
        for (section, key), value in soak.ini.items():
            got = ini.get(section, key, fallback=None)
            if got != value:
                raise Fault(f"Setup.ini has {section}/{key}={got}, the dialogs left {value}")
        if soak.findings:
            raise Fault(f"{len(soak.findings)} findings: " + "; ".join(soak.findings))
        growth = memory.growth_per_hour()
        report(seed, done, soak, memory, growth)
        if growth is not None and growth > args.growth_mib_per_hour and \
                (memory.last - memory.settled) / 1024 > args.growth_floor_mib:
            raise Fault(f"memory grows by {growth:.0f} MiB per hour after the first minutes")
        print("soak: passed", flush=True)
    except Exception as e:  # every failure is kept with its evidence
        failed = e
        if soak:
            report(seed, done, soak, None, None)
        print(f"soak: FAILED (seed {seed}): {e}", flush=True)
        if not isinstance(e, Fault):
            traceback.print_exc()
        keep(session, tmp, args.artifacts)
    finally:
        if soak:
            soak.unlock_folder()
        session.stop()
        if failed is None:
            shutil.rmtree(tmp, ignore_errors=True)
    return 1 if failed else 0


def report(seed, done, soak, memory, growth):
    print(f"soak: seed {seed}: {done} actions", flush=True)
    for name, n in sorted(soak.kinds.items()):
        slowest = f"  (slowest {soak.slowest[name]:.1f} s)" if name in soak.slowest else ""
        print(f"  {name:28} {n}{slowest}")
    print(f"soak: pictures written and checked: {sum(soak.checked.values())} "
          f"({', '.join(f'{k} {n}' for k, n in sorted(soak.checked.items()))})")
    if memory:
        print(f"soak: memory (RSS): peak {memory.peak / 1024:.0f} MiB, after the first minutes "
              f"{memory.settled / 1024:.0f} MiB, final {memory.last / 1024:.0f} MiB, growth "
              f"{'n/a' if growth is None else f'{growth:.0f} MiB/h'}; sanitizer reports: none", flush=True)


def keep(session, tmp, artifacts):
    if not artifacts:
        print(f"soak: the run's files stay in {tmp}")
        return
    out = Path(artifacts) / time.strftime("%Y%m%d-%H%M%S")
    out.mkdir(parents=True, exist_ok=True)
    try:
        session.shot().save(out / "screen.png")
    except Exception as e:
        (out / "screen-error.txt").write_text(str(e))
    for f in list(tmp.glob("*.log")) + list(tmp.glob("screen-for-*")) + list(tmp.glob("finding-*")):
        shutil.copy(f, out / f.name)
    print(f"soak: kept the screenshot and logs in {out}")
    # The kept folder may not outlive a clean clone; the program's last words go with the report.
    log = tmp / "app.log"
    tail = log.read_text(errors="replace").splitlines()[-20:] if log.exists() else []
    if tail:
        print("soak: the program's output ended with:\n" + "\n".join(f"  {line}" for line in tail), flush=True)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--minutes", type=float, required=True)
    p.add_argument("--seed", type=int)
    p.add_argument("--program", required=True)
    p.add_argument("--helper", required=True)
    p.add_argument("--artifacts", default="")
    p.add_argument("--verbose", action="store_true", help="a line for every action, with its time")
    p.add_argument("--keep-going", action="store_true",
                   help="faults that leave the program usable are reported at the end, not at once")
    p.add_argument("--only", default="", help="these kinds of action alone, by name, comma-separated")
    p.add_argument("--lsan", default=str(Path(__file__).resolve().parent.parent / "lsan.supp"))
    p.add_argument("--bound", type=float, default=float(os.environ.get("KORIVAN_SOAK_BOUND", "30")),
                   help="seconds an action's effect may take to show")
    p.add_argument("--growth-mib-per-hour", type=float, default=100)
    # The sanitizer's quarantine and the toolkit's caches fill over the first
    # minutes of use; less than this is no growth to speak of.
    p.add_argument("--growth-floor-mib", type=float, default=96)
    sys.exit(run(p.parse_args()))


if __name__ == "__main__":
    main()
