#!/usr/bin/env python3
"""Meshes of the demo level as ".n3d" text: the seabed, a rock and the diver, and the
shapes the level collides with: the seabed in tiles and the rock at each size it is put.

    python3 tools/datagen/gen_meshes.py <stage>   ->  <stage>/meshes/{seabed,rock,diver}.n3d,
        <stage>/meshes/seabed_<i>_<j>.n3d, <stage>/meshes/rock_<size x 10>.n3d,
        <stage>/meshes/wallrock.n3d and wallrock_<size x 10>.n3d (rocks that stand in the seabed),
        <stage>/meshes/{reef,edges,surface}.n3d and their <name>_solid.n3d

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


def rock(scale=1.0, foot=None):
    """A lumpy ball resting on y = 0. With `foot` (a share of the scale) its lower half is a
    wall straight down from its widest ring to a flat base that far below y = 0 instead:
    a rock that stands in the seabed, with no rim a diver could get under."""
    noise = datagen.Noise2(4417, period=8)

    def bump(dx, dy, dz):
        # Lumps from noise on the direction; flattened underneath.
        k = 0.75 + 0.5 * noise.fractal(3 + dx * 2.2 + dz * 0.7, 3 + dy * 2.2 - dz * 1.3, 3)
        return k * (0.8 if dy < -0.3 and foot is None else 1.0)

    m = datagen.Mesh()
    centre, radii = (0.0, 0.7 * scale, 0.0), (scale, 0.8 * scale, 0.9 * scale)
    if foot is None:
        m.ellipsoid(centre, radii, (0.0, 0.0, 2.0, 1.0), rings=12, segments=20, bump=bump)
        return m.n3d('rock: about %g units across, resting on y = 0' % (2 * scale))
    footed_ellipsoid(m, centre, radii, -foot * scale, bump)
    return m.n3d('rock: about %g units across, standing %g below y = 0' % (2 * scale, foot * scale))


def footed_ellipsoid(m, centre, radii, base, bump, rings=12, segments=20):
    """An ellipsoid's upper half as Mesh.ellipsoid makes it, below it a wall as wide as its
    widest ring down to `base`, then a flat base: no ring is narrower than one below it."""
    cx, cy, cz = centre
    rx, ry, rz = radii
    first = len(m.pos)
    half = rings // 2
    for i in range(rings + 1):
        theta = math.pi * i / rings
        for j in range(segments + 1):
            phi = 2 * math.pi * (j % segments) / segments
            uv = (2.0 * j / segments, i / rings)
            if i <= half:
                d = (math.sin(theta) * math.cos(phi), math.cos(theta), math.sin(theta) * math.sin(phi))
                k = bump(*d)
                p = (cx + rx * d[0] * k, cy + ry * d[1] * k, cz + rz * d[2] * k)
                m.vertex(p, (d[0] / rx, d[1] / ry, d[2] / rz), uv)
                continue
            # The wall flares a little going down and reaches the base at 0.8 of the way; the
            # last rings close the base.
            t = (i - half) / (rings - half)
            k = bump(math.cos(phi), 0.0, math.sin(phi)) * (1.0 + 0.05 * t)
            width = 1.0 if t <= 0.8 else (1.0 - t) / 0.2
            y = cy + (base - cy) * min(t / 0.8, 1.0)
            normal = (math.cos(phi) / rx, 0.0, math.sin(phi) / rz) if t <= 0.8 else (0.0, -1.0, 0.0)
            m.vertex((cx + rx * math.cos(phi) * k * width, y, cz + rz * math.sin(phi) * k * width), normal, uv)
    m.grid(first, rings, segments)


# How far below y = 0 (a share of its size) a rock that stands in the seabed reaches: below
# the lowest of the seabed under it wherever the level puts one.
ROCK_FOOT = 0.85
# The sizes the level puts such rocks at.
FOOTED_ROCK_SIZES = (2.4,)


# The basin that closes the level: a reef wall across the seabed whose one opening is the
# door's passage (the door's leaf, 3 wide and 3 high, hinged at x = -1.5 on the reef's
# line), walls at the edges and the water's surface above. What divers meet are plain
# boxes; what is drawn is the same in panels of at most PANEL units, so that light and fog
# vary across a wall as they do across the seabed. The walls reach below the lowest seabed
# and a little above the surface, whose underside hides their tops.
SURFACE_Y = 12.0
BASIN_INNER = 96.0
BASIN_OUTER = 100.0
WALL_FOOT = -6.0
WALL_TOP = SURFACE_Y + 0.5
REEF_Z = 8.0
REEF_HALF = 0.5
DOOR_HALF = 1.5
DOOR_TOP = 3.0
PANEL = 8.0
# World units a texture repeat spans on the walls and the surface.
TEXTURE_SPAN = 4.0


def panel(m, corner, u, v, normal, cell):
    """A rectangle from `corner` along the edges `u` and `v` (u x v along `normal`, so it is
    counter-clockwise seen from there), cut into cells of at most `cell` units, textured by
    its size in the world."""
    def length(a):
        return math.sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2])

    lu, lv = length(u), length(v)
    nu, nv = max(1, math.ceil(lu / cell - 1e-9)), max(1, math.ceil(lv / cell - 1e-9))
    first = len(m.pos)
    for j in range(nv + 1):
        for i in range(nu + 1):
            p = tuple(corner[k] + u[k] * i / nu + v[k] * j / nv for k in range(3))
            m.vertex(p, normal, (lu * i / nu / TEXTURE_SPAN, lv * j / nv / TEXTURE_SPAN))
    row = nu + 1
    for j in range(nv):
        for i in range(nu):
            a = first + j * row + i
            m.tri(a, a + 1, a + row + 1)
            m.tri(a, a + row + 1, a + row)


def blocks(parts, comment, cell):
    """Closed boxes, each from its lowest to its highest corner, their sides facing out."""
    m = datagen.Mesh()
    for (x0, y0, z0), (x1, y1, z1) in parts:
        dx, dy, dz = x1 - x0, y1 - y0, z1 - z0
        panel(m, (x1, y0, z1), (0, 0, -dz), (0, dy, 0), (1, 0, 0), cell)
        panel(m, (x0, y0, z0), (0, 0, dz), (0, dy, 0), (-1, 0, 0), cell)
        panel(m, (x0, y1, z1), (dx, 0, 0), (0, 0, -dz), (0, 1, 0), cell)
        panel(m, (x0, y0, z0), (dx, 0, 0), (0, 0, dz), (0, -1, 0), cell)
        panel(m, (x0, y0, z1), (dx, 0, 0), (0, dy, 0), (0, 0, 1), cell)
        panel(m, (x1, y0, z0), (-dx, 0, 0), (0, dy, 0), (0, 0, -1), cell)
    return m.n3d(comment)


def reef_blocks():
    z0, z1 = REEF_Z - REEF_HALF, REEF_Z + REEF_HALF
    return [((-BASIN_INNER, WALL_FOOT, z0), (-DOOR_HALF, WALL_TOP, z1)),
            ((DOOR_HALF, WALL_FOOT, z0), (BASIN_INNER, WALL_TOP, z1)),
            # Above the door's passage.
            ((-DOOR_HALF, DOOR_TOP, z0), (DOOR_HALF, WALL_TOP, z1))]


def edge_blocks():
    i, o = BASIN_INNER, BASIN_OUTER
    return [((-o, WALL_FOOT, -o), (-i, WALL_TOP, o)), ((i, WALL_FOOT, -o), (o, WALL_TOP, o)),
            ((-i, WALL_FOOT, -o), (i, WALL_TOP, -i)), ((-i, WALL_FOOT, i), (i, WALL_TOP, o))]


def surface():
    # Seen from below only: it faces down.
    o = BASIN_OUTER
    m = datagen.Mesh()
    panel(m, (-o, SURFACE_Y, -o), (2 * o, 0, 0), (0, 0, 2 * o), (0, -1, 0), PANEL)
    return m.n3d('surface: the water\'s surface at y = %g, seen from below' % SURFACE_Y)


def basin_meshes():
    """The basin's meshes by file name: drawn, and the plain bodies divers meet."""
    o, whole = BASIN_OUTER, 1e9
    return {
        'meshes/reef.n3d': blocks(reef_blocks(), 'reef: the wall across the seabed at z = %g' % REEF_Z, PANEL),
        'meshes/reef_solid.n3d': blocks(reef_blocks(), 'reef_solid: what divers meet of the reef', whole),
        'meshes/edges.n3d': blocks(edge_blocks(), 'edges: the walls at the level\'s edges', PANEL),
        'meshes/edges_solid.n3d': blocks(edge_blocks(), 'edges_solid: what divers meet of the edges', whole),
        'meshes/surface.n3d': surface(),
        'meshes/surface_solid.n3d': blocks([((-o, SURFACE_Y, -o), (o, SURFACE_Y + 2.0, o))],
                                           'surface_solid: a slab above the water', whole),
    }


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
    datagen.write(stage, 'meshes/wallrock.n3d', rock(1.0, ROCK_FOOT))
    for size in FOOTED_ROCK_SIZES:
        datagen.write(stage, 'meshes/wallrock_%d.n3d' % round(size * 10), rock(size, ROCK_FOOT))
    for name, text in basin_meshes().items():
        datagen.write(stage, name, text)


if __name__ == '__main__':
    main()
