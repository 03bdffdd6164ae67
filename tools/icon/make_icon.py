#!/usr/bin/env python3
"""Draws the game's window icon, a porthole onto water with a fish and rising
bubbles, and writes it as a 32x32 BMP with alpha (BITMAPV4HEADER, bit fields),
which SDL_LoadBMP reads. Run from the source root:

    python3 tools/icon/make_icon.py data/bin/win32/brinewick.bmp
"""
import math
import struct
import sys

SIZE = 32
SAMPLES = 4  # per axis, for smooth edges


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def shade(x, y):
    """Colour (r, g, b, a) in 0..1 at a point of the 32x32 square, y down."""
    cx, cy = 16.0, 16.0
    d = math.hypot(x - cx, y - cy)
    if d > 15.5:
        return (0.0, 0.0, 0.0, 0.0)
    if d > 12.5:  # brass ring with a highlight at the top left
        light = 0.75 + 0.25 * ((cx - x) + (cy - y)) / (2 * 15.5)
        return (0.80 * light, 0.62 * light, 0.25 * light, 1.0)
    # water: light at the top, deep at the bottom, with two slanted light rays
    water = mix((0.16, 0.55, 0.78), (0.03, 0.13, 0.32), (y - 3.5) / 25.0)
    for offset in (4.0, 11.0):
        if abs((x - offset) - (y - 3.5) * 0.35) < 1.2:
            water = mix(water, (0.55, 0.80, 0.92), 0.25)
    # fish: an orange body with a tail, swimming left
    fx, fy = 14.0, 19.0
    if ((x - fx) / 6.0) ** 2 + ((y - fy) / 3.2) ** 2 <= 1.0:
        if math.hypot(x - (fx - 3.2), y - (fy - 0.8)) < 0.9:
            return (0.05, 0.05, 0.08, 1.0)  # eye
        return (0.98, 0.55, 0.12, 1.0)
    if fx + 5.0 <= x <= fx + 9.0 and abs(y - fy) <= (x - (fx + 5.0)) * 0.8:
        return (0.93, 0.45, 0.08, 1.0)
    # bubbles: thin light rings
    for bx, by, br in ((20.5, 12.0, 1.6), (22.5, 8.0, 1.2), (21.0, 5.0, 0.9)):
        if abs(math.hypot(x - bx, y - by) - br) < 0.45:
            return (0.85, 0.95, 1.0, 1.0)
    return water + (1.0,)


def pixel(px, py):
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            r, g, b, a = shade(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
            acc[0] += r * a
            acc[1] += g * a
            acc[2] += b * a
            acc[3] += a
    n = SAMPLES * SAMPLES
    a = acc[3] / n
    if a == 0:
        return (0, 0, 0, 0)
    # straight (not premultiplied) alpha, as SDL expects
    return tuple(int(round(min(1.0, c / acc[3]) * 255)) for c in acc[:3]) + (int(round(a * 255)),)


def bmp(width, height, rows):
    """rows: top-down lists of (r, g, b, a). BMP stores them bottom-up as B, G, R, A."""
    data = b"".join(struct.pack("<4B", b, g, r, a) for row in reversed(rows) for r, g, b, a in row)
    header_size = 108  # BITMAPV4HEADER
    offset = 14 + header_size
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, 32, 3, len(data), 2835, 2835, 0, 0)
    masks = struct.pack("<4I", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    colour_space = struct.pack("<I", 0x73524742) + bytes(36) + bytes(12)  # 'sRGB', no end points or gamma
    return file_header + info + masks + colour_space + data


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py <output.bmp>")
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    with open(sys.argv[1], "wb") as out:
        out.write(bmp(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
