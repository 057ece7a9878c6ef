"""Lines, boxes, ellipses, text and numbered steps as a user draws them from
tiles of the column, read back from the saved picture (text and numbers
by an OCR engine)."""

import subprocess

from PIL import Image

from conftest import near, pictures_folder, saved, start_overlay, wait_until

GREY = (0xC0, 0xC0, 0xC0)
BLUE, GREEN, YELLOW, RED, BLACK = 0x0000FF, 0x00AA00, 0xFFFF00, 0xCC0000, 0x000000

# The column the scenarios place, tile by tile.
TOOLS = [("pwLine", BLUE, 6), ("pwLineMk", YELLOW, 20), ("pwRect", GREEN, 6), ("pwRectMk", YELLOW, 8),
         ("pwEllipse", GREEN, 6), ("pwEllipseMk", YELLOW, 8), ("pwText", BLACK, 12), ("pwStep", RED, 14),
         ("pwLasso", BLACK, 4), ("pwUndo", 0xFFFFFF, 1), ("pwPn", BLACK, 6)]
LINE, LINE_MK, RECT, RECT_MK, ELLIPSE, ELLIPSE_MK, TEXT, STEP, LASSO, UNDO, PEN = range(len(TOOLS))


def setup_ini():
    lines = ["[Setup]", "ImageTypeDefault=2", "[Menu]", f"Count={len(TOOLS)}"]
    for i, (kind, colour, width) in enumerate(TOOLS):
        lines += [f"PenType{i}={kind}", f"PenColor{i}={colour}", f"PenThickness{i}={width}", f"PenDash{i}=0"]
    return "\n".join(lines) + "\n"


def start(session):
    below = session.test_window("korivan-e2e-below", 100, 100, 1200, 800, "c0c0c0")
    overlay = start_overlay(session, setup_ini())
    session.click(*overlay.write_rect)
    assert wait_until(overlay.drawing)
    return below, overlay


def drag(session, a, b, wobble=(0, 0)):
    """A drag from a to b in steps, through a point off the segment."""
    mid = ((a[0] + b[0]) // 2 + wobble[0], (a[1] + b[1]) // 2 + wobble[1])
    points = [a] + [(a[0] + (mid[0] - a[0]) * k // 8, a[1] + (mid[1] - a[1]) * k // 8) for k in range(1, 9)]
    points += [(mid[0] + (b[0] - mid[0]) * k // 8, mid[1] + (b[1] - mid[1]) * k // 8) for k in range(1, 9)]
    session.drag(points)


def save(session, folder, after=0):
    session.xdotool("mousemove", 1250, 880)
    session.key("KP_Add")
    files = saved(folder, after)
    assert files, "no picture saved"
    latest = max(files, key=lambda p: p.stat().st_mtime_ns)
    return Image.open(latest).convert("RGB"), latest.stat().st_mtime_ns


def ocr(picture, box, light_ink=False):
    """What the OCR engine reads in box: ink made black on white, enlarged."""
    part = picture.crop(box).convert("L")
    ink = (lambda v: 0 if v > 200 else 255) if light_ink else (lambda v: 0 if v < 80 else 255)
    part = part.point(ink).resize((part.width * 3, part.height * 3), Image.LANCZOS)
    part.save(OCR_INPUT)
    out = subprocess.run(["tesseract", str(OCR_INPUT), "stdout", "--psm", "7"], capture_output=True, text=True)
    return out.stdout.strip()


OCR_INPUT = None


def test_each_new_tool_once_then_undo_a_step(xsession):
    global OCR_INPUT
    OCR_INPUT = xsession.tmp / "ocr.png"
    folder = pictures_folder(xsession)
    below, overlay = start(xsession)

    overlay.click_tile(LINE)
    drag(xsession, (200, 200), (500, 350), wobble=(30, -60))
    overlay.click_tile(RECT)
    drag(xsession, (800, 150), (600, 300), wobble=(40, 40))
    overlay.click_tile(ELLIPSE)
    drag(xsession, (200, 420), (500, 600))
    overlay.click_tile(RECT_MK)
    drag(xsession, (600, 420), (800, 600))
    overlay.click_tile(LINE_MK)
    drag(xsession, (200, 700), (500, 700))
    overlay.click_tile(ELLIPSE_MK)
    drag(xsession, (600, 650), (800, 800))
    overlay.click_tile(TEXT)
    xsession.click(880, 180)
    xsession.xdotool("type", "--delay", "60", "Step 42")
    xsession.key("Escape")
    overlay.click_tile(STEP)
    for x in (900, 980, 1060):
        xsession.click(x, 420)

    picture, first = save(xsession, folder)
    px = picture.getpixel
    # The line: on the segment at a quarter, half and three quarters; 12 px
    # across it nothing; the wobble's point left no trace.
    for t in (0.25, 0.5, 0.75):
        x, y = 200 + 300 * t, 200 + 150 * t
        assert near(px((round(x), round(y))), (0, 0, 255), 40), f"no line at {t}"
        assert near(px((round(x + 5.4), round(y - 10.7))), GREY), f"line beside its segment at {t}"
    assert near(px((380, 215)), GREY), "the wobble drew"
    # The rectangle's corners, the ellipse's extreme points, the centres bare.
    for corner in ((600, 150), (800, 150), (800, 300), (600, 300)):
        assert near(px(corner), (0, 0xAA, 0), 40), f"no corner at {corner}"
    assert near(px((700, 225)), GREY) and near(px((594, 150)), GREY)
    for extreme in ((350, 420), (500, 510), (350, 600), (200, 510)):
        assert near(px(extreme), (0, 0xAA, 0), 40), f"no ellipse at {extreme}"
    assert near(px((204, 424)), GREY), "the ellipse's box corner is drawn"
    # Marker areas: 40 % yellow over the grey.
    translucent = (217, 217, 115)
    for spot in ((700, 510), (350, 700), (700, 725)):
        assert near(px(spot), translucent, 6), f"not translucent at {spot}: {px(spot)}"
    assert near(px((700, 605)), GREY), "the marker box has an outline"

    assert "Step 42" in ocr(picture, (860, 170, 1120, 240)), "the text does not read back"
    badges = ocr(picture, (870, 390, 1090, 450), light_ink=True).replace(" ", "")
    assert badges == "123", f"the badges read {badges!r}"

    overlay.click_tile(UNDO)
    assert wait_until(lambda: near(xsession.pixel(1060, 420), GREY)), "undo left badge 3"
    overlay.click_tile(STEP)
    xsession.click(1060, 520)
    picture, _ = save(xsession, folder, first)
    assert near(picture.getpixel((1060, 420)), GREY)
    assert ocr(picture, (1030, 490, 1090, 550), light_ink=True) == "3", "the next badge is not 3 again"


def test_shift_straightens_and_the_lasso_moves_a_box_and_a_text(xsession):
    global OCR_INPUT
    OCR_INPUT = xsession.tmp / "ocr.png"
    folder = pictures_folder(xsession)
    below, overlay = start(xsession)

    overlay.click_tile(PEN)
    xsession.xdotool("mousemove", 200, 600)
    xsession.xdotool("keydown", "shift")
    drag(xsession, (200, 600), (600, 800), wobble=(-40, 50))
    xsession.xdotool("keyup", "shift")

    overlay.click_tile(RECT)
    drag(xsession, (200, 150), (400, 250))
    overlay.click_tile(TEXT)
    xsession.click(450, 160)
    xsession.xdotool("type", "--delay", "60", "Step 42")
    xsession.key("Escape")

    overlay.click_tile(LASSO)
    xsession.drag([(180, 130), (700, 130), (700, 270), (180, 270), (180, 135)])
    # Dragged by the box's middle, 250 px down.
    xsession.drag([(300, 200), (300, 260), (300, 380), (300, 450)])
    overlay.click_tile(PEN)  # another tool ends the selection
    picture, _ = save(xsession, folder)
    px = picture.getpixel

    assert near(px((400, 700)), (0, 0, 0), 40), "no straight line through the middle"
    assert near(px((360, 750)), GREY), "the wobble drew"
    for corner in ((200, 400), (400, 400), (400, 500), (200, 500)):
        assert near(px(corner), (0, 0xAA, 0), 40), f"the moved box has no corner at {corner}"
    assert near(px((200, 150)), GREY) and near(px((400, 250)), GREY), "the box is still where it was"
    assert "Step 42" in ocr(picture, (430, 400, 700, 470)), "the text did not move with the box"
    old = picture.crop((430, 150, 700, 220)).convert("L")
    assert min(old.getdata()) > 150, "the text is still where it was"
