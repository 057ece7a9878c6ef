"""The presenter's pointers: the laser pen, whose trail fades by itself and
leaves nothing to undo, and the spotlight, which darkens all but a light
around the pointer and lets clicks through to the window below."""

import time

from conftest import PROGRAM, near, start_overlay, wait_until

GREY = (0xC0, 0xC0, 0xC0)
BLUE, RED = 0x0000FF, 0xFF0000

TOOLS = [("pwPn", BLUE, 6), ("pwLaser", RED, 10), ("pwUndo", 0xFFFFFF, 1), ("pwSpotlight", 0xFFFFFF, 1)]
PEN, LASER, UNDO, SPOTLIGHT = range(len(TOOLS))


def setup_ini():
    lines = ["[Menu]", f"Count={len(TOOLS)}"]
    for i, (kind, colour, width) in enumerate(TOOLS):
        lines += [f"PenType{i}={kind}", f"PenColor{i}={colour}", f"PenThickness{i}={width}", f"PenDash{i}=0"]
    return "\n".join(lines) + "\n"


def reddish(c):
    return c[0] > 200 and c[1] < 130 and c[2] < 130


def grey_along(shot, y, xs):
    return all(near(shot.getpixel((x, y)), GREY, 6) for x in xs)


def test_laser_fades_and_leaves_nothing_to_undo(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession, setup_ini())
    xsession.click(*overlay.write_rect)
    assert wait_until(overlay.drawing)
    overlay.click_tile(PEN)
    xsession.drag([(300 + i * 20, 300) for i in range(21)])
    assert wait_until(lambda: near(xsession.pixel(500, 300), (0, 0, 255), 30)), "the pen stroke did not show"

    overlay.click_tile(LASER)
    xsession.drag([(300 + i * 20, 500) for i in range(31)])
    # At once: the trail's newer half and the dot are bright red, well
    # within their fade.
    shot = xsession.shot()
    assert reddish(shot.getpixel((850, 500))), f"no laser trail at once: {shot.getpixel((850, 500))}"
    # The dot: a white core in a red disc.
    assert min(shot.getpixel((900, 500))) > 230, f"no laser dot at once: {shot.getpixel((900, 500))}"
    assert reddish(shot.getpixel((900, 506))), f"no laser dot at once: {shot.getpixel((900, 506))}"
    time.sleep(2.0)
    shot = xsession.shot()
    assert grey_along(shot, 500, range(290, 920, 5)), "the laser trail is still on the screen after 2 s"
    assert grey_along(shot, 494, range(290, 920, 5)) and grey_along(shot, 506, range(290, 920, 5))
    assert near(shot.getpixel((500, 300)), (0, 0, 255), 30), "the pen stroke went with the laser"

    # Undo takes the pen stroke: the laser left no record in between.
    overlay.click_tile(UNDO)
    assert wait_until(lambda: near(xsession.pixel(500, 300), GREY, 6)), "Undo did not take back the pen stroke"


def test_spotlight_darkens_but_the_light_and_passes_clicks(xsession):
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(xsession, setup_ini())
    assert overlay.passing()
    overlay.click_tile(SPOTLIGHT)
    centre = (600, 450)
    xsession.xdotool("mousemove", *centre)
    far = (150, 850)  # inside the window below, far from the pointer

    def lit_and_shaded():
        shot = xsession.shot()
        dark = shot.getpixel(far)
        return (max(dark) < 120 and near(shot.getpixel(centre), GREY, 6)
                and near(shot.getpixel((centre[0] + 60, centre[1] + 40)), GREY, 6))

    assert wait_until(lit_and_shaded), f"no spotlight around {centre}: far {xsession.pixel(*far)}"
    # The light follows the pointer over another window's pixels.
    moved = (900, 300)
    xsession.xdotool("mousemove", *moved)
    assert wait_until(lambda: near(xsession.pixel(*moved), GREY, 6) and max(xsession.pixel(*centre)) < 120), \
        "the light did not follow the pointer"
    # Drawing is off: a click inside the light reaches the window below.
    xsession.click(*moved)
    assert wait_until(lambda: moved in below.clicks()), "the click in the light did not reach the window below"
    assert overlay.passing(), "the spotlight changed the input shape"

    # The command line ends it in the running instance.
    xsession.run(PROGRAM, "--spotlight")
    assert wait_until(lambda: near(xsession.pixel(*far), GREY, 6)), "--spotlight did not end the spotlight"
