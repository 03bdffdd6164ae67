#!/usr/bin/env python3
"""Meshes of the demo level as ".n3d" text: the seabed, a rock and the diver.

    python3 tools/datagen/gen_meshes.py <stage>   ->  <stage>/meshes/{seabed,rock,diver}.n3d

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


def seabed():
    noise = datagen.Noise2(8901, period=16)
    m = datagen.Mesh()
    n = SEABED_CELLS
    step = SEABED_SIZE / n
    heights = [[seabed_height(-100 + i * step, -100 + j * step, noise) for i in range(n + 1)] for j in range(n + 1)]
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
    row = n + 1
    for j in range(n):
        for i in range(n):
            a = j * row + i
            # a, its +z neighbour, its +x neighbour: counter-clockwise seen from above.
            m.tri(a, a + row, a + 1)
            m.tri(a + 1, a + row, a + row + 1)
    return m.n3d('seabed: 200 x 200 units, y up, hills around y = 0')


def rock():
    noise = datagen.Noise2(4417, period=8)

    def bump(dx, dy, dz):
        # Lumps from noise on the direction; flattened underneath.
        k = 0.75 + 0.5 * noise.fractal(3 + dx * 2.2 + dz * 0.7, 3 + dy * 2.2 - dz * 1.3, 3)
        return k * (0.8 if dy < -0.3 else 1.0)

    m = datagen.Mesh()
    m.ellipsoid((0.0, 0.7, 0.0), (1.0, 0.8, 0.9), (0.0, 0.0, 2.0, 1.0), rings=12, segments=20, bump=bump)
    return m.n3d('rock: about 2 units across, resting on y = 0')


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


if __name__ == '__main__':
    main()
