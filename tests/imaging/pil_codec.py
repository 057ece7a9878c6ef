"""Reads and writes pictures with Python PIL for the cross-check tests.

decode FILE OUT [FRAME]   writes the picture (or frame FRAME of a PSD: 0 the
                          merged image, 1.. the layers) as RGBA bytes to OUT
                          and prints its width and height
encode RAW W H OUT MODE [rle] [top]
                          reads W x H RGBA bytes from RAW and saves them in
                          MODE (RGB or RGBA) to OUT, run-length encoded and
                          with the top-left origin when asked
"""
import sys

from PIL import Image


def decode(path, out, frame):
    im = Image.open(path)
    if frame:
        im.seek(frame)
    im = im.convert("RGBA")
    with open(out, "wb") as f:
        f.write(im.tobytes())
    print(im.size[0], im.size[1])


def encode(raw, w, h, out, mode, flags):
    with open(raw, "rb") as f:
        im = Image.frombytes("RGBA", (w, h), f.read())
    if mode != "RGBA":
        im = im.convert(mode)
    im.save(out, rle="rle" in flags, orientation=1 if "top" in flags else -1)


if __name__ == "__main__":
    if sys.argv[1] == "decode":
        decode(sys.argv[2], sys.argv[3], int(sys.argv[4]) if len(sys.argv) > 4 else 0)
    else:
        encode(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], sys.argv[6], sys.argv[7:])
