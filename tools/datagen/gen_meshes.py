#!/usr/bin/env python3
"""Meshes of the demo level as ".n3d" text: the seabed, a rock and the diver, and the
shapes the level collides with: the seabed in tiles and the rock at each size it is put.

    python3 tools/datagen/gen_meshes.py <stage>   ->  <stage>/meshes/{seabed,rock,diver}.n3d,
        <stage>/meshes/seabed_<i>_<j>.n3d, <stage>/meshes/rock_<size x 10>.n3d

Axes: y is up. The seabed spans x and z from -100 to 100 with gentle hills around
y = 0. The rock is about 2 units across, resting on y = 0. The diver is 1.8 units
long and swims along -z (head at z = -0.9, fins at z = +0.9), back up, centred on
the origin: the diver class pushes its body along its local -z axis.
"""
import math

import datagen

SEABED_SIZE = 200.0
SEABED_CELLS = 64
TEXTURE_REPEATS = 25.0


def seabed_height(x, z, noise):
    """Long swells plus a little noise; 0 at the level's middle stays near the floor."""
    h = 1.2 * math.sin(x * 0.045) * math.cos(z * 0.038)
    h += 0.6 * math.sin((x + z) * 0.09)
    h += 1.5 * (noise.fractal(x / 25.0, z / 25.0, 3) - 0.5)
    return h


def seabed_heights():
    noise = datagen.Noise2(8901, period=16)
    n = SEABED_CELLS
    step = SEABED_SIZE / n
    return [[seabed_height(-100 + i * step, -100 + j * step, noise) for i in range(n + 1)] for j in range(n + 1)]


def seabed():
    m = datagen.Mesh()
    n = SEABED_CELLS
    step = SEABED_SIZE / n
    heights = seabed_heights()
    for j in range(n + 1):
        for i in range(n + 1):
            x, z = -100 + i * step, -100 + j * step
            # Normal from the neighbours' heights.
            hl = heights[j][max(i - 1, 0)]
            hr = heights[j][min(i + 1, n)]
            hd = heights[max(j - 1, 0)][i]
            hu = heights[min(j + 1, n)][i]
            normal = (hl - hr, 2 * step, hd - hu)
            m.vertex((x, heights[j][i], z), normal, (i / n * TEXTURE_REPEATS, j / n * TEXTURE_REPEATS))
    grid_triangles(m, n)
    return m.n3d('seabed: 200 x 200 units, y up, hills around y = 0')


def grid_triangles(m, n):
    """Two triangles a cell over an (n + 1) x (n + 1) grid of vertices made row by row."""
    row = n + 1
    for j in range(n):
        for i in range(n):
            a = j * row + i
            # a, its +z neighbour, its +x neighbour: counter-clockwise seen from above.
            m.tri(a, a + row, a + 1)
            m.tri(a + 1, a + row, a + row + 1)


# The seabed's collision shapes: TILES x TILES tiles of the drawn seabed's own cells, each
# centred on its own origin, so that a shape's bounding sphere stays small and a diver is
# tested against the few tiles near it only. Tile (i, j) lies at x = -100 + (i + 0.5) *
# TILE_SIZE, z likewise with j; the level places them there.
TILES = 8
TILE_SIZE = SEABED_SIZE / TILES


def seabed_tiles():
    heights = seabed_heights()
    cells = SEABED_CELLS // TILES
    step = SEABED_SIZE / SEABED_CELLS
    for tj in range(TILES):
        for ti in range(TILES):
            cx, cz = -100 + (ti + 0.5) * TILE_SIZE, -100 + (tj + 0.5) * TILE_SIZE
            m = datagen.Mesh()
            for j in range(cells + 1):
                for i in range(cells + 1):
                    gi, gj = ti * cells + i, tj * cells + j
                    x, z = -100 + gi * step, -100 + gj * step
                    m.vertex((x - cx, heights[gj][gi], z - cz), (0.0, 1.0, 0.0), (0.0, 0.0))
            grid_triangles(m, cells)
            name = 'meshes/seabed_%d_%d.n3d' % (ti, tj)
            yield name, m.n3d('seabed tile %d, %d: centred on x %g, z %g' % (ti, tj, cx, cz))


# The sizes the level puts rocks at; its rocks collide with the rock scaled to each.
ROCK_SIZES = (1.2, 1.5, 1.8, 2.2, 2.4, 2.6, 3.0)


def rock(scale=1.0):
    noise = datagen.Noise2(4417, period=8)

    def bump(dx, dy, dz):
        # Lumps from noise on the direction; flattened underneath.
        k = 0.75 + 0.5 * noise.fractal(3 + dx * 2.2 + dz * 0.7, 3 + dy * 2.2 - dz * 1.3, 3)
        return k * (0.8 if dy < -0.3 else 1.0)

    m = datagen.Mesh()
    m.ellipsoid((0.0, 0.7 * scale, 0.0), (scale, 0.8 * scale, 0.9 * scale), (0.0, 0.0, 2.0, 1.0), rings=12,
                segments=20, bump=bump)
    return m.n3d('rock: about %g units across, resting on y = 0' % (2 * scale))


# The diver's texture (see gen_textures.py) has four quarters: the orange suit at the
# top left, the grey tank at the top right, the black fins and hood at the bottom
# left, the mask's glass at the bottom right.
SUIT = (0.02, 0.02, 0.48, 0.48)
TANK = (0.52, 0.02, 0.98, 0.48)
BLACK = (0.02, 0.52, 0.48, 0.98)
GLASS = (0.52, 0.52, 0.98, 0.98)


def diver():
    m = datagen.Mesh()
    # Lying prone, head towards -z. Torso and hips.
    m.ellipsoid((0.0, 0.0, -0.25), (0.22, 0.14, 0.38), SUIT)
    m.ellipsoid((0.0, 0.0, 0.12), (0.18, 0.12, 0.2), SUIT)
    # Head in its black hood, the mask in front of it.
    m.ellipsoid((0.0, 0.04, -0.76), (0.11, 0.11, 0.13), BLACK)
    m.ellipsoid((0.0, 0.02, -0.86), (0.08, 0.05, 0.03), GLASS, rings=6, segments=10)
    # The tank on the back.
    m.ellipsoid((0.0, 0.2, -0.22), (0.09, 0.09, 0.32), TANK, rings=8, segments=12)
    # Arms forward beside the head.
    for side in (-1, 1):
        m.ellipsoid((side * 0.19, -0.02, -0.58), (0.055, 0.055, 0.24), SUIT, rings=6, segments=10)
    # Legs and the fins behind them.
    for side in (-1, 1):
        m.ellipsoid((side * 0.09, 0.0, 0.45), (0.07, 0.07, 0.26), SUIT, rings=8, segments=10)
        m.box((side * 0.09 - 0.09, -0.015, 0.66), (side * 0.09 + 0.09, 0.015, 0.9), BLACK)
    return m.n3d('diver: 1.8 units long, swims along -z, back up', edges=True)


def main():
    stage = datagen.stage_dir()
    datagen.write(stage, 'meshes/seabed.n3d', seabed())
    datagen.write(stage, 'meshes/rock.n3d', rock())
    datagen.write(stage, 'meshes/diver.n3d', diver())
    for name, text in seabed_tiles():
        datagen.write(stage, name, text)
    for size in ROCK_SIZES:
        datagen.write(stage, 'meshes/rock_%d.n3d' % round(size * 10), rock(size))


if __name__ == '__main__':
    main()
