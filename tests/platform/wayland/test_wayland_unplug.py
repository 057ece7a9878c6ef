"""The overlay when the output it is on goes away (a monitor unplugged): a
sway of two outputs nested in the headless one, whose outputs can be taken
away, as the headless backend's cannot."""
import os
import pwd
import subprocess
import time
from contextlib import contextmanager

import pytest

from test_wayland_overlay import (CONFIG, HEIGHT, PROBE, WIDTH, click, drag, not_window, program_on, session,  # noqa: F401
                                  setup_path, stroke_at, wait_for_column, wait_for_picture)


@contextmanager
def nested_sway(env, runtime):
    """A sway of two 640x480 outputs, each a window of the session's sway;
    yields its environment, its folder, its swaymsg and an unplug."""
    outer = os.path.join(runtime, next(n for n in os.listdir(runtime) if n.startswith("sway-ipc.")))
    msg = lambda ipc, command: subprocess.run(["swaymsg", "-s", ipc, command], env=env, check=True, timeout=10,
                                              capture_output=True)
    msg(outer, 'for_window [app_id="wlroots"] floating enable')  # at the outputs' own size
    inner = os.path.join(runtime, "inner")
    os.mkdir(inner)
    with open(os.path.join(inner, "config"), "w") as f:
        f.write(CONFIG.format(width=WIDTH, height=HEIGHT, scale=1).replace("HEADLESS-", "WL-"))
    command = ["sway", "-c", os.path.join(inner, "config")]
    if os.getuid() == 0:
        nobody = pwd.getpwnam("nobody")
        os.chown(inner, nobody.pw_uid, nobody.pw_gid)
        command = ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}", "--clear-groups", "--"] + command
    sway = subprocess.Popen(command, env=dict(env, XDG_RUNTIME_DIR=inner, WLR_BACKENDS="wayland", WLR_WL_OUTPUTS="2",
                                              WAYLAND_DISPLAY=os.path.join(runtime, env["WAYLAND_DISPLAY"])),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 20
        while not any(n.startswith("sway-ipc.") for n in os.listdir(inner)):
            assert sway.poll() is None and time.monotonic() < deadline, "the nested sway did not start"
            time.sleep(0.05)
        ipc = os.path.join(inner, next(n for n in os.listdir(inner) if n.startswith("sway-ipc.")))
        yield dict(env, XDG_RUNTIME_DIR=inner, WAYLAND_DISPLAY="wayland-1"), inner, lambda c: msg(ipc, c), \
            lambda output: msg(outer, f'[title="{output}"] kill')
    finally:
        sway.terminate()
        sway.wait(timeout=10)


@pytest.mark.parametrize("session", ["1280x720"], indirect=True)
@pytest.mark.parametrize("settings", ["", "[Display]\nisAllScreens=1\n"], ids=["one screen", "all screens"])
def test_output_unplugged(session, settings):
    """The output the overlay is on goes away: the program goes on on the
    one left (above its drawing surface with "All screens"), the stroke and
    drawing on kept; there the switch, pass-through, drawing and Close work."""
    start, outer_env, outer_runtime = session
    with nested_sway(outer_env, outer_runtime) as (env, runtime, swaymsg, unplug):
        swaymsg("focus output WL-1")  # the nested outputs come up in either order
        window = start(([PROBE, "window"], env))
        window.wait_for("window ")
        swaymsg("focus output WL-2")
        pointer = start(([PROBE, "pointer"], env))
        pointer.wait_for("ready")
        with program_on(env, runtime, settings) as (program, program_env, home):
            # The corner buttons of the output on the right, then of the one
            # left; the window below shows through the drawing surface's all
            # but clear background, which a layer more or less shifts a step.
            pen = lambda p, right=WIDTH: list(p.crop((right - 80, 0, right, 30)).getdata())
            same = lambda a, b: all(abs(u - v) <= 8 for pa, pb in zip(a, b) for u, v in zip(pa, pb))
            off = pen(wait_for_column(env, runtime, program, right=2 * WIDTH, below=(0, 0, 192)), 2 * WIDTH)
            click(pointer, 2 * WIDTH - 45, 15, width=2 * WIDTH)  # the drawing switch
            # As a user does, the stroke once the switch shows drawing on.
            wait_for_picture(env, runtime, lambda p: not same(pen(p, 2 * WIDTH), off), "drawing not on", program)
            y = HEIGHT // 3
            drag(pointer, [(WIDTH + x, y) for x in range(100, 301, 20)], width=2 * WIDTH)
            wait_for_picture(env, runtime, lambda p: sum(not_window(p.getpixel((WIDTH + x, y)), (0, 0, 192))
                                                         for x in range(120, 281, 10)) >= 15, "no stroke drawn",
                             program)
            unplug("WL-2")
            pointer.send(f"move 20 {HEIGHT - 20} {WIDTH} {HEIGHT}")  # the output draws the pointer in
            pointer.wait_for("ok")
            pointer.seen.clear()
            shown = pen(wait_for_picture(env, runtime, lambda p: p.image.size == (WIDTH, HEIGHT) and stroke_at(p, y)
                                         and not_window(p.getpixel((WIDTH - 100, 200))), "not on the output left", program))
            for on in (False, True):  # off, a click passes to the window below; on again
                click(pointer, WIDTH - 45, 15)
                wait_for_picture(env, runtime, lambda p: same(pen(p), shown) == on, "drawing not switched", program)
                window.seen.clear()
                if not on:
                    click(pointer, 200, 2 * HEIGHT // 3)
                    window.wait_for("window press")
            drag(pointer, [(x, 2 * HEIGHT // 3) for x in range(100, 301, 20)])
            wait_for_picture(env, runtime, lambda p: stroke_at(p, 2 * HEIGHT // 3) and stroke_at(p, y),
                             "no stroke drawn there", program)
            # With none left it waits for one; a new one of the backend's size
            # it takes, its drawing gone as at any change of size.
            unplug("WL-1")
            swaymsg("create_output")
            size = (1280, 720)
            # No stroke: its row as the one above, whatever sway leaves below.
            row = lambda p, v: [p.image.getpixel((x, v)) for x in range(120, 281, 10)]
            wait_for_picture(env, runtime, lambda p: p.image.size == size
                             and all(not_window(p.image.getpixel((1245, v))) for v in (100, 485))
                             and all(max(abs(a - b) for a, b in zip(u, v)) < 60
                                     for u, v in zip(row(p, y), row(p, y - 12))), "not on the new output", program)
            # The pointer comes onto the new output as a user's would, before the click.
            pointer.send(f"move 1200 550 {size[0]} {size[1]}")
            pointer.wait_for("ok")
            pointer.seen.clear()
            click(pointer, 1210, 555, *size)  # the Close tile, laid out for that height
            assert program.wait(timeout=20) == 0
            assert os.path.exists(setup_path(home))
