#!/usr/bin/env python3
"""Writes the game's loading screen image, data/textures/loadingscreen.png.

Deep water: a vertical gradient from the lit surface to the dark ground, a few rising
bubbles and an amber loading bar. The start-up test reads back probe pixels of the
flat regions: the top, the bar and the bottom left. Run it again after a change:
    python3 tools/loading_image.py data/textures/loadingscreen.png
"""
import struct
import sys
import zlib

W, H = 256, 192
TOP = (40, 120, 150)
BOTTOM = (5, 20, 50)
BAR = (230, 160, 40)
# Bubbles: centre x, centre y, radius (away from the probe points).
BUBBLES = [(200, 60, 6), (212, 40, 4), (190, 28, 3), (60, 90, 5), (70, 70, 3)]


def pixel(x, y):
    t = y / (H - 1)
    c = [round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM)]
    if 0.2 * W <= x < 0.8 * W and 0.80 * H <= y < 0.86 * H:
        return tuple(BAR)
    for bx, by, r in BUBBLES:
        d2 = (x - bx) ** 2 + (y - by) ** 2
        if d2 <= r * r:
            rim = d2 >= (r - 1) ** 2
            lift = 90 if rim else 40
            return tuple(min(255, v + lift) for v in c)
    return tuple(c)


def png(path):
    rows = b"".join(b"\0" + bytes(v for x in range(W) for v in pixel(x, y)) for y in range(H))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(rows, 9)))
        f.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    png(sys.argv[1] if len(sys.argv) > 1 else "data/textures/loadingscreen.png")
