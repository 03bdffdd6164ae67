#!/usr/bin/env python3
"""Draws the pictures of the heads-up displays' figure movies and writes them as RGBA
PNG files into "<stage>/flash/pics/":

- "taucher_0.png", "taucher_1.png", "taucher_2.png" (30 x 38): a diver of the first
  display, as it is (0), as the active diver (1) and with little life left (2);
- "geraet_0.png" ... "geraet_2.png" (50 x 34): another diver of the first display, a
  small underwater vehicle, in the same three states;
- "maennel_0.png" ... "maennel_2.png" (30 x 38): a diver of the second display;
- "guide.png" (8 x 8): the mark of a diver that others follow;
- "zeiger_0.png" and "zeiger_1.png" (32 x 32): the game's mouse pointers, an arrow with
  its tip at (1, 1) and, over things that take a click or a drag, the same arrow with a
  ring about its tip.

The pictures are RGBA: the figures' water is a little transparent, the mark's corners
fully.

The movies ("taucher.movie", "geraet.movie", "maennel.movie") pick the picture by the
last letter of their "bild" variable. Deterministic: no randomness, no time stamps.

    python3 tools/datagen/gen_hud.py <stage>
"""
import math

import datagen

CLEAR = (0, 0, 0, 0)
WATER = (14, 40, 70, 220)
SUIT = (240, 120, 20, 255)
SUIT_DARK = (170, 80, 10, 255)
MASK = (150, 210, 240, 255)
TANK = (200, 200, 210, 255)
HULL = (235, 200, 40, 255)
HULL_DARK = (150, 120, 20, 255)
GLASS = (120, 200, 255, 255)
ACTIVE = (255, 255, 255, 255)
DANGER = (230, 30, 30, 255)


class Canvas:
    def __init__(self, width, height, fill):
        self.width = width
        self.height = height
        self.rows = [[fill for _ in range(width)] for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def ellipse(self, cx, cy, rx, ry, colour):
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                dx = (x + 0.5 - cx) / rx
                dy = (y + 0.5 - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            t = i / steps
            self.put(round(x0 + (x1 - x0) * t), round(y0 + (y1 - y0) * t), colour)

    def border(self, colour):
        for x in range(self.width):
            self.put(x, 0, colour)
            self.put(x, self.height - 1, colour)
        for y in range(self.height):
            self.put(0, y, colour)
            self.put(self.width - 1, y, colour)

    def tint(self, colour, weight):
        """Mixes `colour` into every opaque pixel."""
        for row in self.rows:
            for x, (r, g, b, a) in enumerate(row):
                if a:
                    row[x] = (round(r + (colour[0] - r) * weight), round(g + (colour[1] - g) * weight),
                              round(b + (colour[2] - b) * weight), a)

    def bytes(self):
        return datagen.png(self.width, self.height, lambda x, y: self.rows[y][x], alpha=True)


def diver(state):
    """A diver swimming upwards: fins, legs, body with tank, head with mask."""
    c = Canvas(30, 38, WATER)
    c.ellipse(11, 34, 3, 3, SUIT_DARK)
    c.ellipse(19, 34, 3, 3, SUIT_DARK)
    c.rect(11, 24, 13, 32, SUIT)
    c.rect(17, 24, 19, 32, SUIT)
    c.ellipse(15, 19, 6, 8, SUIT)
    c.rect(13, 13, 17, 22, TANK)
    c.line(9, 17, 4, 8, SUIT)
    c.line(21, 17, 26, 8, SUIT)
    c.ellipse(15, 8, 4, 4, SUIT_DARK)
    c.rect(13, 7, 17, 9, MASK)
    finish(c, state)
    return c


def little_man(state):
    """The second display's diver: a round, friendly figure with a big helmet."""
    c = Canvas(30, 38, WATER)
    c.rect(10, 29, 13, 35, SUIT_DARK)
    c.rect(17, 29, 20, 35, SUIT_DARK)
    c.ellipse(15, 23, 8, 8, SUIT)
    c.line(7, 21, 3, 27, SUIT)
    c.line(23, 21, 27, 27, SUIT)
    c.ellipse(15, 11, 7, 7, TANK)
    c.ellipse(15, 11, 5, 5, GLASS)
    c.rect(13, 10, 14, 11, (20, 20, 40, 255))
    c.rect(17, 10, 18, 11, (20, 20, 40, 255))
    finish(c, state)
    return c


def vehicle(state):
    """A small underwater vehicle seen from the side: hull, dome, propeller, lamp."""
    c = Canvas(50, 34, WATER)
    c.ellipse(24, 19, 17, 8, HULL)
    c.rect(8, 24, 40, 26, HULL_DARK)
    c.ellipse(28, 13, 6, 5, GLASS)
    c.rect(3, 17, 6, 21, HULL_DARK)
    for a in range(0, 360, 60):
        r = math.radians(a)
        c.line(4, 19, round(4 + 3 * math.cos(r)), round(19 + 3 * math.sin(r)), TANK)
    c.ellipse(43, 19, 2, 2, (255, 250, 200, 255))
    finish(c, state)
    return c


def finish(c, state):
    if state == 1:
        c.border(ACTIVE)
    elif state == 2:
        c.tint(DANGER, 0.45)
        c.border(DANGER)


def guide():
    c = Canvas(8, 8, CLEAR)
    for y in range(8):
        half = y // 2
        c.rect(4 - half - 1, y, 4 + half, y, (80, 230, 90, 255))
    return c


def pointer(ring):
    """A white arrow with a dark outline, its tip at (1, 1); a gold ring about the tip when
    the pointer is over something that takes it."""
    c = Canvas(32, 32, CLEAR)
    outline = (10, 25, 40, 255)
    if ring:
        for y in range(32):
            for x in range(32):
                d = math.hypot(x + 0.5 - 2, y + 0.5 - 2)
                if 7.5 <= d <= 10.0:
                    c.put(x, y, (250, 190, 40, 255))
    # The arrow: rows widening to the right below its tip, then the tail.
    for y in range(1, 18):
        for x in range(1, 1 + (y * 2) // 3 + 1):
            c.put(x, y, outline)
    for y in range(2, 16):
        for x in range(2, 1 + (y * 2) // 3):
            c.put(x, y, (255, 255, 255, 255))
    for y in range(14, 24):
        c.rect(5 + (y - 14) // 3, y, 8 + (y - 14) // 3, y, outline)
        c.rect(6 + (y - 14) // 3, y, 7 + (y - 14) // 3, y, (255, 255, 255, 255))
    return c


def main():
    stage = datagen.stage_dir()
    pictures = {'guide.png': guide(), 'zeiger_0.png': pointer(False), 'zeiger_1.png': pointer(True)}
    for state in (0, 1, 2):
        pictures['taucher_%d.png' % state] = diver(state)
        pictures['geraet_%d.png' % state] = vehicle(state)
        pictures['maennel_%d.png' % state] = little_man(state)
    for name in sorted(pictures):
        datagen.write(stage, 'flash/pics/' + name, pictures[name].bytes())


if __name__ == '__main__':
    main()
