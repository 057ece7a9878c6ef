"""The soak's X session and what it watches: an X server whose screen can be
resized through RandR (Xorg with the dummy driver; Xvfb, which cannot, when
that is missing), the program's memory, its sanitizer reports, and the
pictures it writes compared with the screen."""

import os
import re
import shutil
import sys
import time
from pathlib import Path

from PIL import Image, ImageChops

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from conftest import XSession  # noqa: E402  (the end-to-end helpers, shared)

# Sizes the screen takes; every one is tall enough for the factory column.
MODES = [(1280, 720), (1600, 900), (1440, 900), (1280, 800), (1024, 768)]
# The screen while a second monitor lies beside a first of 1280 x 800.
PAIR = (2560, 800)
DUMMY_DRIVER = Path("/usr/lib/xorg/modules/drivers/dummy_drv.so")
SANITIZER_REPORT = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: \w+Sanitizer")


def modeline(w, h):
    # Timings do not matter to the dummy driver, only that they fit its ranges.
    return f'Modeline "{w}x{h}" {w * h * 60 / 1e6 * 1.3:.2f} {w} {w + 48} {w + 160} {w + 320} {h} {h + 3} {h + 8} {h + 30}'


XORG_CONF = """Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 64000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
{modelines}
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes {modes}
    Virtual {vw} {vh}
  EndSubSection
EndSection
"""


class SoakSession(XSession):
    """XSession on a resizable screen."""

    def __init__(self, tmp: Path):
        super().__init__(tmp, *MODES[0])
        self.can_resize = False
        # The end-to-end helper never frees its connection; a sanitizer build
        # of it must not fail for that.
        self.env["ASAN_OPTIONS"] = "detect_leaks=0"

    def server(self, ready_fd):
        if not (shutil.which("Xorg") and DUMMY_DRIVER.exists() and os.geteuid() == 0):
            print("soak: Xorg with the dummy driver (as root) is missing; Xvfb, no resizing", flush=True)
            return super().server(ready_fd)
        conf = self.tmp / "xorg.conf"
        conf.write_text(XORG_CONF.format(
            modelines="\n".join("  " + modeline(w, h) for w, h in MODES + [PAIR]),
            modes=" ".join(f'"{w}x{h}"' for w, h in MODES + [PAIR]),
            vw=max(w for w, _ in MODES + [PAIR]), vh=max(h for _, h in MODES + [PAIR])))
        self.can_resize = True
        # The first mode listed is the one it starts in.
        return "xorg", ["Xorg", "-displayfd", str(ready_fd), "-config", str(conf), "-logfile",
                        str(self.tmp / "xorg.server.log"), "-nolisten", "tcp", "-noreset",
                        "-novtswitch", "-sharevts", "-auth", self.env["XAUTHORITY"]]

    def resize(self, w, h):
        self.run("xrandr", "-s", f"{w}x{h}")
        self.width, self.height = w, h


def rss_kib(pid):
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


class Memory:
    """The program's resident memory, sampled now and then: the peak, the
    level once the first minutes are over, and the last."""

    def __init__(self, pid, warmup_s):
        self.pid, self.warmup_s = pid, warmup_s
        self.start = time.monotonic()
        self.peak = self.settled = self.last = 0
        self.settled_at = self.last_at = None
        self.next_sample = 0.0

    def sample(self, force=False):
        now = time.monotonic()
        if not force and now < self.next_sample:
            return
        self.next_sample = now + 5
        kib = rss_kib(self.pid)
        if not kib:
            return
        self.peak = max(self.peak, kib)
        self.last, self.last_at = kib, now
        if self.settled_at is None and now - self.start >= self.warmup_s:
            self.settled, self.settled_at = kib, now

    def growth_per_hour(self):
        """MiB per hour from the settled level to the last sample, or None."""
        if self.settled_at is None or self.last_at - self.settled_at < 30:
            return None
        return (self.last - self.settled) / 1024 / ((self.last_at - self.settled_at) / 3600)


def sanitizer_reports(log: Path):
    try:
        text = log.read_text(errors="replace")
    except FileNotFoundError:
        return []
    return [line for line in text.splitlines() if SANITIZER_REPORT.search(line)]


def picture_matches(path: Path, screen: Image.Image, box, lossy: bool):
    """None when the picture decodes, has the screen's size and shows what the
    screen showed in box; else why not. JPEG is allowed its ringing at the
    edges of strokes, every other format only the compositor's rounding."""
    try:
        with Image.open(path) as im:
            picture = im.convert("RGB")
    except Exception as e:  # any decoding failure is the finding
        return f"{path.name} does not decode: {e}"
    if picture.size != screen.size:
        return f"{path.name} is {picture.size}, the screen {screen.size}"
    picture, screen = picture.crop(box), screen.convert("RGB").crop(box)
    if lossy:
        # JPEG halves the colour resolution: judged in blocks of 4 x 4 pixels.
        size = (picture.width // 4, picture.height // 4)
        picture, screen = (im.resize(size, Image.BOX) for im in (picture, screen))
    r, g, b = ImageChops.difference(picture, screen).split()
    diff = ImageChops.lighter(ImageChops.lighter(r, g), b)
    tolerance, share = (40, 0.002) if lossy else (8, 0.0005)
    off = diff.point(lambda v: 255 if v > tolerance else 0).histogram()[255]
    total = diff.width * diff.height
    if off > total * share:
        return f"{path.name}: {off} of {total} pixels differ from the screen by more than {tolerance}"
    return None
