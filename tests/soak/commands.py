"""The commands a user gives the running program from outside its window:
the command line of a second process and the shortcuts of `HotKeys`, each
checked by what it does on the screen or on disk."""

import subprocess

import conftest
from actions import PEN, Fault, action, along, drag, ensure_drawing_tool, random_path, stroke
from conftest import near

# Set in Setup.ini before the program starts; the Setup dialog changes them.
HOT_KEYS = {"Toggle": "Ctrl+Alt+D", "Save": "Ctrl+Alt+S", "EraseAll": "Ctrl+Alt+E", "App": "",
            "NextPen": "Ctrl+Alt+N"}
# Chords the Setup dialog may give a command; none of them is the window manager's.
CHORDS = [f"Ctrl+Alt+{k}" for k in "DSENJKLMPU"]
HOT_KEY_COMMANDS = {"Toggle": "toggle", "Save": "save", "EraseAll": "erase-all", "NextPen": "next-pen"}


def hot_keys(soak):
    return {name: soak.ini[("HotKeys", name)] for name in HOT_KEYS}


def setup_ini_text():
    return "[HotKeys]\n" + "".join(f"{name}={chord}\n" for name, chord in HOT_KEYS.items())


def xdotool_chord(chord):
    return chord.lower()


def carry_out(soak, rng, command, send, how):
    """Sends the command and waits for what it does, as the tile or key would."""
    if command == "save":
        soak.save(send, expect=True, how=how)
        return
    if command == "toggle":
        send()
        soak.drawing = not soak.drawing
        probe = soak.overlay.drawing if soak.drawing else soak.overlay.passing
        soak.expect(probe, f"{how} did not switch drawing {'on' if soak.drawing else 'off'}")
    elif command == "erase-all":
        send()
        soak.expect(lambda: soak.blank(soak.shot()), f"{how} left strokes")
    elif command == "next-pen":
        send()
        # The next stock pen, drawing as it was: it shows once it draws.
        soak.tool = PEN
        if soak.drawing:
            stroke(soak, rng)
    soak.kind(how)


def undo_redo_from_outside(soak, rng, send, how):
    """A fresh stroke, taken back by the undo command and given back by the redo one."""
    ensure_drawing_tool(soak, rng)
    if soak.tool != PEN:
        soak.click_tile(rng.randint(0, 4))
        soak.tool = PEN
    path = random_path(soak, rng)
    before = soak.settled_shot()
    drag(soak, rng, path)
    fresh = [p for p in along(path) if near(before.getpixel(p), soak.bg)]
    if not fresh:
        return
    def showing(points, desktop):
        """Those of the points that show the desktop (or not), in one look."""
        shot = soak.shot()
        return [p for p in points if near(shot.getpixel(p), soak.bg) == desktop]
    drawn = soak.expect(lambda: showing(fresh, False), "the stroke does not show")
    send("--undo")
    # Most of it: older strokes drawn anew may reach into a few of its pixels.
    soak.expect(lambda: len(showing(drawn, True)) >= 0.8 * len(drawn), f"{how} --undo did not take the stroke back")
    send("--redo")
    soak.expect(lambda: len(showing(drawn, False)) >= 0.8 * len(drawn), f"{how} --redo did not give the stroke back")
    soak.kind(f"{how} --undo --redo")


def second_process(soak, option):
    """The program started again with one option: it hands the command over
    and ends at once with status 0, without a sanitizer report."""
    try:
        done = subprocess.run([conftest.PROGRAM, option], env=soak.program_env, capture_output=True,
                              text=True, timeout=soak.bound)
    except subprocess.TimeoutExpired:
        raise Fault(f"korivan-dsk {option} did not end within {soak.bound:.0f} s") from None
    if done.returncode != 0:
        raise Fault(f"korivan-dsk {option} ended with status {done.returncode}: {done.stderr.strip()[-300:]}")
    from session import SANITIZER_REPORT
    if SANITIZER_REPORT.search(done.stderr + done.stdout):
        raise Fault(f"korivan-dsk {option}: a sanitizer report: {done.stderr.strip()[-300:]}")


@action(3)
def command_line(soak, rng):
    command = rng.choice(["toggle", "save", "erase-all", "undo-redo", "next-pen"])
    if command == "undo-redo":
        undo_redo_from_outside(soak, rng, lambda option: second_process(soak, option), "command line")
        return
    carry_out(soak, rng, command, lambda: second_process(soak, f"--{command}"), f"command line --{command}")


def focus_elsewhere(soak):
    """The keyboard to the root window, away from the overlay."""
    out = soak.session.run("xwininfo", "-root", check=False).stdout
    root = out.split("Window id:")[1].split()[0] if "Window id:" in out else None
    if root:
        soak.session.run("xdotool", "windowfocus", root, check=False)


@action(3)
def shortcut(soak, rng):
    bound = [name for name, chord in hot_keys(soak).items() if chord and name in HOT_KEY_COMMANDS]
    if not bound:
        return
    name = rng.choice(bound)
    elsewhere = rng.random() < 0.5
    if elsewhere:
        focus_elsewhere(soak)
    chord = hot_keys(soak)[name]
    carry_out(soak, rng, HOT_KEY_COMMANDS[name], lambda: soak.session.key(xdotool_chord(chord)),
              f"shortcut {name}{' (keyboard elsewhere)' if elsewhere else ''}")


# In the Setup dialog's Detailed page: the field of each command and its Clear button.
HOT_KEY_ROW = {name: i for i, name in enumerate(["Toggle", "Save", "EraseAll", "App", "NextPen"])}


def setup_shortcut(soak, rng, at, pending):
    """One shortcut of the Detailed page typed anew or cleared; the value it
    takes if the dialog ends with OK goes into pending."""
    name = rng.choice(list(HOT_KEY_COMMANDS))
    y = 27 + 104 + 26 + 44 * HOT_KEY_ROW[name] + 16
    # A chord the program holds now would reach it, not the field.
    taken = set(hot_keys(soak).values()) | {v for (s, _), v in pending.items() if s == "HotKeys"}
    free = [c for c in CHORDS if c not in taken]
    if rng.random() < 0.2 or not free:
        soak.click_in(at, (7 + 8 + 354 + 45, y))  # Clear
        pending[("HotKeys", name)] = ""
        return
    chord = rng.choice(free)
    soak.click_in(at, (7 + 8 + 146 + 100, y))
    soak.session.key(xdotool_chord(chord))
    pending[("HotKeys", name)] = chord
