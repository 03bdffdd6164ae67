#!/usr/bin/env python3
"""Draws the tools' 16 x 16 icons, the resource bitmaps 110 to 115 (the script
editor's toolbar) and 127 to 151 (the object tree's classes), and writes each as a
24-bit BMP "<id>.bmp" under ui/icons/ of the stage folder given. Pure blue (0, 0, 255)
is the mask colour that the tools show as transparent. Deterministic: no randomness.

    python3 tools/datagen/gen_icons.py <stage>   ->  <stage>/ui/icons/<id>.bmp
"""
import struct

import datagen

SIZE = 16
MASK = (0, 0, 255)


def bmp(pixels):
    """24-bit BMP bytes of SIZE x SIZE (r, g, b) rows, top row first."""
    row_size = (SIZE * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(row_size - len(line))
        body += line
    header = struct.pack('<2sIHHI', b'BM', 54 + len(body), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return header + info + bytes(body)


def canvas():
    return [[MASK for _ in range(SIZE)] for _ in range(SIZE)]


def rect(p, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            p[y][x] = colour


def frame(p, x0, y0, x1, y1, fill, edge):
    rect(p, x0, y0, x1, y1, edge)
    rect(p, x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)


def arrow(p, left):
    """A curved arrow: undo points left, redo right."""
    ink = (30, 90, 170)
    for x in range(4, 12):
        p[6][x] = ink
    for y in range(6, 12):
        p[y][11 if left else 4] = ink
    tip = 4 if left else 11
    step = 1 if left else -1
    for d in range(0, 4):
        p[6 - d][tip + step * d] = ink
        p[6 + d][tip + step * d] = ink


def sheet(p, x0, y0):
    frame(p, x0, y0, x0 + 8, y0 + 10, (250, 250, 250), (90, 90, 90))
    for y in range(y0 + 3, y0 + 9, 2):
        rect(p, x0 + 2, y, x0 + 6, y, (150, 150, 160))


def toolbar_icon(ident):
    p = canvas()
    if ident == 110:  # undo
        arrow(p, True)
    elif ident == 113:  # redo
        arrow(p, False)
    elif ident == 114:  # cut: two crossed blades
        for i in range(10):
            p[2 + i][3 + i] = (60, 60, 60)
            p[2 + i][12 - i] = (60, 60, 60)
        frame(p, 2, 11, 5, 14, MASK, (200, 40, 40))
        frame(p, 10, 11, 13, 14, MASK, (200, 40, 40))
    elif ident == 111:  # copy: two sheets
        sheet(p, 1, 1)
        sheet(p, 6, 4)
    elif ident == 112:  # paste: a board with a sheet
        frame(p, 1, 2, 11, 14, (190, 140, 70), (110, 70, 30))
        rect(p, 4, 1, 8, 3, (120, 120, 120))
        sheet(p, 6, 5)
    else:  # 115, run: a green triangle
        for x in range(4, 13):
            half = (12 - x) * 6 // 8
            rect(p, x, 8 - half, x, 8 + half, (40, 160, 60))
    return p


def class_icon(ident):
    """An object of the tree: a bordered tile, its colours and mark made from the id."""
    p = canvas()
    n = ident - 127
    hue = [(200, 70, 60), (220, 150, 40), (200, 200, 60), (70, 170, 70), (60, 160, 170),
           (70, 110, 200), (130, 80, 190), (190, 80, 150)][n % 8]
    dark = tuple(c // 2 for c in hue)
    frame(p, 1, 1, 14, 14, hue, dark)
    # A mark of its own: n as a 5-bit pattern of dots.
    for bit in range(5):
        if n & (1 << bit):
            rect(p, 3 + bit * 2, 6, 3 + bit * 2, 9, (250, 250, 250))
    rect(p, 3, 11, 3 + (n % 9), 12, dark)
    return p


def main():
    stage = datagen.stage_dir()
    for ident in list(range(110, 116)) + list(range(127, 152)):
        pixels = toolbar_icon(ident) if ident < 116 else class_icon(ident)
        datagen.write(stage, 'ui/icons/%d.bmp' % ident, bmp(pixels))


if __name__ == '__main__':
    main()
