"""One sitting, as a user has it: every command of the factory column, the
hot keys, the dialogs, both ways of saving and a second start with the
settings the first one wrote. Each step is checked on the screen or in
the files written."""

import configparser

from PIL import Image

from conftest import (CHOOSER, CHOOSER_OK, CLOSE, ERASE_ALL, ERASER, INFO, LAUNCHER_CLOSE, MENU,
                      REDO, RED_TILE, SAVE, SETUP_CANCEL, SETUP_OK, SWATCH0, UNDO, about_box, chooser_closed,
                      chooser_colour_tile, client_rect, differs, launcher_tile, near, on_top, open_chooser,
                      open_setup, pictures_folder, saved, setup_dialog, shows, start_overlay, stroke,
                      tile_centre, tile_colour, type_colour, wait_until, windows_titled)

GREY = (0xC0, 0xC0, 0xC0)
BLACK, RED, BLUE, MAGENTA, ORANGE = (0, 0, 0), (255, 0, 0), (0, 0, 255), (255, 0, 255), (255, 0x80, 0)
RAINBOW = [(255, 0, 255), (255, 0, 0), (255, 0x66, 0), (255, 255, 0), (0, 255, 0), (0, 0, 255), (0x66, 0x66, 0xCC)]


def over_grey(rgb, opacity):
    return tuple(round(c * opacity + g * (1 - opacity)) for c, g in zip(rgb, GREY))


# The five stock pens of the column: tile, colour on the grey window, width.
STOCK_PENS = [
    (0, BLACK, 8),
    (1, RED, 8),
    (2, BLUE, 8),
    (3, over_grey((0, 255, 255), 0.4), 20),  # a marker
    (4, (255, 255, 0), 40),
]
LAUNCH_SAVE_AS, LAUNCH_LASSO = 1, 6


def chooser_type_tile(i):
    return tile_centre(CHOOSER, 70 * (i % 2) + 5, 70 * (i // 2 + 1) + 5)


def chooser_width_tile(i):
    return tile_centre(CHOOSER, 70 * 4 + 25, 70 * i + 5)


def width_at(shot, x, y, colour):
    """How many pixels of the column through (x, y) are nearer colour than the grey."""
    dist = lambda a, b: sum((p - q) ** 2 for p, q in zip(a, b))
    return sum(1 for v in range(y - 40, y + 41)
               if dist(shot.getpixel((x, v)), colour) < dist(shot.getpixel((x, v)), GREY))


def shows_stroke(session, x, y, colour, width=None):
    def probe():
        shot = session.shot()
        return near(shot.getpixel((x, y)), colour, 8) and (width is None or abs(width_at(shot, x, y, colour) - width) <= 2)
    return wait_until(probe)


def clean(session, window, shot=None):
    """Whether the window shows nothing but its own grey."""
    x, y, width, height = client_rect(session, window.id)
    return not differs(shot or session.shot(), GREY, [(x + 2, y + 2, x + width - 2, y + height - 2)], 4)


def open_launcher(session, overlay):
    overlay.click_tile(MENU)
    assert wait_until(shows(session, LAUNCHER_CLOSE, RED_TILE)), "the launcher did not show"


def test_one_sitting(xsession):
    folder = pictures_folder(xsession, "Pictures")
    below = xsession.test_window("korivan-e2e-below", 100, 100, 1600, 900, "c0c0c0")
    overlay = start_overlay(xsession)
    assert not overlay.setup_ini.exists()
    w, h = xsession.width, xsession.height
    x0 = below.x + 100
    row = lambda i: below.y + 80 + 70 * i
    mid = x0 + 200

    # Undo with nothing drawn yet; then multiply, with the window below in
    # front, switches drawing on and leaves that window in front.
    overlay.click_tile(UNDO)
    xsession.xdotool("windowactivate", "--sync", below.id)
    xsession.key("KP_Multiply")
    assert wait_until(overlay.drawing), "multiply did not switch drawing on"
    assert wait_until(lambda: xsession.active_window() == below.id), "the window in front lost the focus"

    # A stroke with each stock pen: its colour and width on the screen. Once
    # the first shows, the undo before it has been done too, and did nothing.
    for i, (tile, colour, width) in enumerate(STOCK_PENS):
        overlay.click_tile(tile)
        stroke(xsession, x0, row(i), 400)
        assert shows_stroke(xsession, mid, row(i), colour, width), f"stock pen {tile} does not draw {colour}, {width} wide"
        if i == 0:
            shot = xsession.shot()
            shot.paste(GREY, (x0 - 10, row(0) - 10, x0 + 410, row(0) + 10))
            assert clean(xsession, below, shot), "undo with an empty history drew something"

    # Keypad divide steps on from stock pen 4: the dashed pen, then the rainbow.
    xsession.key("KP_Divide", "KP_Divide")
    stroke(xsession, x0, row(5), 600)

    def rainbow_colours():
        shot = xsession.shot()
        return {i for x in range(x0 + 5, x0 + 600, 10) for i, c in enumerate(RAINBOW)
                if near(shot.getpixel((x, row(5))), c, 12)}
    assert wait_until(lambda: len(rainbow_colours()) >= 3), f"no rainbow: {rainbow_colours()}"

    # Then, past the rainbow marker, the arrow (black, a head at its end) and
    # the double arrow (red, heads at both ends). A head's side is 5 widths
    # long at 30 degrees to the stroke.
    tip = x0 + 400
    for steps, y, colour, heads in ((2, row(6), BLACK, (tip - 17,)), (1, row(7), RED, (tip - 17, x0 + 17))):
        xsession.key(*["KP_Divide"] * steps)
        stroke(xsession, x0, y, 400)
        for x in heads:
            for side in (-10, 10):
                assert shows_stroke(xsession, x, y + side, colour), f"no arrow head at {x},{y + side}"
        if len(heads) == 1:
            assert near(xsession.pixel(x0 + 17, y - 10), GREY), "the single arrow has a head at its start"

    # The eraser clears across the black stroke, and only there.
    overlay.click_tile(ERASER)
    xsession.drag([(mid, row(0) - 40 + 10 * k) for k in range(8)])
    assert shows_stroke(xsession, mid, row(0), GREY), "the eraser left the stroke"
    shot = xsession.shot()
    assert near(shot.getpixel((x0 + 50, row(0))), BLACK, 8) and near(shot.getpixel((x0 + 350, row(0))), BLACK, 8)

    # The lasso, from the launcher, takes the blue stroke 700 pixels to the right.
    open_launcher(xsession, overlay)
    xsession.click(*launcher_tile(LAUNCH_LASSO))
    assert wait_until(lambda: not near(xsession.pixel(*LAUNCHER_CLOSE), RED_TILE)), "the launcher stayed"
    y, left, right = row(2), x0 - 20, x0 + 420
    loop = [(x, y - 30) for x in range(left, right + 1, 20)] + [(x, y + 30) for x in range(right, left - 1, -20)]
    xsession.drag(loop + [loop[0]])
    xsession.drag([(mid + 50 * k, y) for k in range(15)])
    moved = mid + 700
    assert wait_until(lambda: (s := xsession.shot()) and near(s.getpixel((mid, y)), GREY)
                      and near(s.getpixel((moved, y)), BLACK, 8)), "the selection did not move"

    # Undo takes the move back, redo makes it again.
    overlay.click_tile(UNDO)
    assert wait_until(lambda: (s := xsession.shot()) and near(s.getpixel((mid, y)), BLUE, 8)
                      and near(s.getpixel((moved, y)), GREY)), "undo did not put the stroke back"
    overlay.click_tile(REDO)
    assert wait_until(lambda: (s := xsession.shot()) and near(s.getpixel((moved, y)), BLUE, 8)
                      and near(s.getpixel((mid, y)), GREY)), "redo did not move the stroke again"

    # Erase All clears everything and leaves no history: undo and redo then
    # change nothing (the pen chooser opening after them shows they were done).
    overlay.click_tile(ERASE_ALL)
    assert wait_until(lambda: clean(xsession, below)), "Erase All left strokes"
    overlay.click_tile(UNDO)
    overlay.click_tile(REDO)
    open_chooser(xsession, overlay)
    cx, cy = CHOOSER
    shot = xsession.shot()
    shot.paste(GREY, (cx - 5, cy - 5, cx + 685, cy + 435))
    assert clean(xsession, below, shot), "undo or redo after Erase All drew something"

    # The pen chooser: a magenta pen 20 wide, confirmed, draws the next stroke.
    for tile in (chooser_type_tile(0), chooser_colour_tile(5), chooser_width_tile(2), CHOOSER_OK):
        xsession.click(*tile)
    assert wait_until(chooser_closed(xsession)), "OK did not close the pen chooser"
    stroke(xsession, x0, row(0), 400)
    assert shows_stroke(xsession, mid, row(0), MAGENTA, 20), "the chosen pen does not draw"

    # The settings dialog: stock pen 0 made orange and confirmed, then made
    # blue and cancelled. The first tile and its stroke are orange.
    for digits, colour, button in (("ff8000", ORANGE, SETUP_OK), ("0000ff", BLUE, SETUP_CANCEL)):
        dx, dy = open_setup(xsession, overlay)
        type_colour(xsession, (dx, dy), digits)
        assert wait_until(shows(xsession, (dx + SWATCH0[0], dy + SWATCH0[1]), colour, 8)), "typing did not reach the dialog"
        xsession.click(dx + button[0], dy + button[1])
        assert wait_until(lambda: setup_dialog(xsession) is None), "the settings dialog did not close"
        assert wait_until(lambda: near(tile_colour(xsession, overlay, 0), ORANGE, 8)), "the first tile is not orange"
    overlay.click_tile(0)
    stroke(xsession, x0, row(1), 400)
    assert shows_stroke(xsession, mid, row(1), ORANGE, 8), "stock pen 0 does not draw orange"

    # Save writes the factory format, JPEG, into the pictures folder made for it.
    screen = xsession.shot()
    root = screen.getpixel((10, 10))
    overlay.click_tile(SAVE)
    files = saved(folder)
    assert files and [p.suffix for p in files] == [".jpg"], f"not one JPEG in {folder}"
    jpeg = files[0]

    # Save As, from the launcher, in PNG: the type chosen in the dialog, the
    # name typed; the dialog opens in the pictures folder.
    open_launcher(xsession, overlay)
    xsession.click(*launcher_tile(LAUNCH_SAVE_AS))
    dialog = wait_until(lambda: windows_titled(xsession, "Image Save As"), 20)
    assert dialog, "no Save As dialog"
    box = wait_until(lambda: client_rect(xsession, dialog[0]))
    assert wait_until(lambda: on_top(xsession, dialog[0])), "the overlay covers the Save As dialog"
    assert wait_until(lambda: xsession.active_window() == dialog[0]), "the Save As dialog does not have the keyboard"
    xsession.click(box[0] + 310, box[1] + box[3] - 24)  # the type list
    xsession.key("Down", "Return")
    xsession.click(box[0] + 310, box[1] + box[3] - 54)  # the name
    xsession.key("ctrl+a")
    xsession.xdotool("type", "--delay", "20", "walk")
    xsession.key("Return")
    assert wait_until(lambda: sorted(p.name for p in folder.iterdir()) == [jpeg.name, "walk.png"], 20), \
        f"not the two pictures in {folder}: {sorted(folder.iterdir())}"

    # Both pictures hold the strokes, and neither the column nor a dialog.
    column = [(w - 60, 0, w, 30), (w - 140, 30, w, h)]
    dialog_place = [(box[0], box[1], box[0] + box[2], box[1] + box[3])]
    for path, tolerance in ((jpeg, 24), (folder / "walk.png", 2)):
        picture = Image.open(path).convert("RGB")
        assert picture.size == (w, h)
        for point in ((mid, row(0)), (mid, row(1))):
            assert near(picture.getpixel(point), screen.getpixel(point), tolerance), f"{path.name}: no stroke at {point}"
        assert not differs(picture, root, column, tolerance), f"{path.name}: the column is in the picture"
        assert not differs(picture, GREY, dialog_place, tolerance), f"{path.name}: a dialog is in the picture"

    # The about box shows above the overlay; Enter closes it.
    overlay.click_tile(INFO)
    about = wait_until(lambda: windows_titled(xsession, "About This Application"))
    assert about, "no about box"
    assert wait_until(lambda: on_top(xsession, about[0])), "the overlay covers the about box"
    assert wait_until(lambda: xsession.active_window() == about[0]), "the about box does not have the keyboard"
    xsession.key("Return")
    assert wait_until(lambda: not about_box(xsession)), "Enter did not close the about box"

    # Close ends the program; the settings file has the confirmed colour.
    overlay.click_tile(CLOSE)
    assert overlay.proc.wait(timeout=10) == 0
    ini = configparser.ConfigParser(interpolation=None)
    ini.optionxform = str
    ini.read(overlay.setup_ini)
    assert ini["Mark"]["PenColor0"] == str(0xFF8000), "the confirmed change is not in Setup.ini"
    assert ini["Setup"]["ImageTypeDefault"] == "1", "the type chosen for Save As became the default"

    # A second start reads it: the first tile is orange.
    again = start_overlay(xsession)
    assert near(tile_colour(xsession, again, 0), ORANGE, 8), "the second start shows the factory tile"
    again.click_tile(CLOSE)
    assert again.proc.wait(timeout=10) == 0
