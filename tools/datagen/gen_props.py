#!/usr/bin/env python3
"""The level's props: the tools a diver carries, the things it works on, the fish and
the hot vent and the chamber's water, each a ".n3d" mesh with an RGB PNG texture of its own, and the sounds of
using a tool, a door opening and a fish biting (mono 16-bit PCM WAV at 22050 Hz).

    python3 tools/datagen/gen_props.py <stage>
        ->  <stage>/meshes/<prop>.n3d, <stage>/textures/<prop>.png   for every prop below
        ->  <stage>/sounds/{use,door,bite}.wav

Axes as in gen_meshes.py: y is up and things that point somewhere (the tools, the fish)
point along -z. Sizes are in the level's units (a diver is 1.8 long). Every texture is
split into four quarters (top left, top right, bottom left, bottom right) whose colours
the meshes' parts pick; a quarter is a base colour with a little seeded grain.
"""
import math

import datagen

RATE = 22050

# The four quarters of a prop's texture, as datagen.Mesh uv boxes.
Q0 = (0.02, 0.02, 0.48, 0.48)
Q1 = (0.52, 0.02, 0.98, 0.48)
Q2 = (0.02, 0.52, 0.48, 0.98)
Q3 = (0.52, 0.52, 0.98, 0.98)

# Quarter colours of each prop, in the order Q0..Q3.
COLOURS = {
    'camera': [(40, 40, 46), (180, 186, 196), (20, 60, 110), (230, 200, 40)],
    'cutter': [(210, 60, 30), (150, 150, 160), (35, 35, 40), (250, 170, 60)],
    'sandremover': [(230, 210, 40), (90, 95, 100), (35, 35, 40), (160, 160, 170)],
    'airbag': [(250, 200, 20), (200, 150, 10), (40, 40, 44), (240, 240, 240)],
    'crate': [(130, 90, 50), (100, 66, 36), (70, 70, 74), (160, 120, 70)],
    'door': [(95, 100, 108), (70, 74, 80), (140, 90, 50), (40, 42, 46)],
    'heap': [(196, 176, 128), (176, 156, 110), (150, 134, 96), (210, 194, 150)],
    'switch': [(60, 64, 70), (200, 30, 30), (220, 220, 220), (40, 42, 46)],
    'basket': [(120, 124, 130), (200, 120, 40), (60, 62, 66), (170, 172, 176)],
    'fish': [(60, 140, 200), (230, 230, 210), (240, 200, 40), (20, 20, 24)],
    'vent': [(50, 44, 40), (90, 80, 72), (240, 90, 20), (250, 200, 60)],
    'water': [(30, 120, 170), (40, 140, 190), (30, 130, 180), (50, 150, 200)],
}


def texture(name, size=32):
    quarters = COLOURS[name]
    grain = datagen.rng(sum(map(ord, name)))
    noise = [grain.random() for _ in range(size * size)]
    half = size // 2

    def pixel(x, y):
        r, g, b = quarters[(1 if x >= half else 0) + (2 if y >= half else 0)]
        k = 0.9 + 0.2 * noise[y * size + x]
        return (r * k, g * k, b * k)

    return datagen.png(size, size, pixel)


def camera():
    m = datagen.Mesh()
    m.box((-0.16, -0.1, -0.08), (0.16, 0.1, 0.08), Q0)  # body
    m.ellipsoid((0.0, 0.0, -0.14), (0.07, 0.07, 0.08), Q2, rings=6, segments=10)  # lens
    m.box((0.08, 0.1, -0.03), (0.14, 0.14, 0.03), Q3)  # flash
    m.box((-0.12, -0.13, -0.05), (-0.06, -0.1, 0.05), Q1)  # grip
    return m.n3d('camera: 0.32 wide, the lens along -z')


def cutter():
    m = datagen.Mesh()
    m.box((-0.05, -0.05, -0.45), (0.05, 0.05, 0.2), Q1)  # barrel
    m.box((-0.07, -0.22, 0.05), (0.07, -0.05, 0.18), Q2)  # handle
    m.ellipsoid((0.0, 0.0, -0.5), (0.04, 0.04, 0.06), Q3, rings=5, segments=8)  # hot tip
    m.ellipsoid((0.0, 0.12, 0.05), (0.07, 0.07, 0.22), Q0, rings=6, segments=10)  # gas bottle
    return m.n3d('cutter: 0.7 long, the tip along -z')


def sandremover():
    m = datagen.Mesh()
    m.ellipsoid((0.0, 0.0, -0.2), (0.09, 0.09, 0.5), Q1, rings=6, segments=12)  # suction pipe
    m.box((-0.16, -0.14, 0.15), (0.16, 0.14, 0.45), Q0)  # pump housing
    m.box((-0.05, -0.3, 0.22), (0.05, -0.14, 0.32), Q2)  # handle
    return m.n3d('sand remover: 1.0 long, the pipe along -z')


def airbag():
    m = datagen.Mesh()
    m.ellipsoid((0.0, 0.35, 0.0), (0.3, 0.35, 0.3), Q0, rings=10, segments=14)  # bag
    m.box((-0.08, -0.05, -0.08), (0.08, 0.02, 0.08), Q2)  # valve
    m.box((-0.02, 0.0, -0.02), (0.02, 0.05, 0.02), Q3)
    return m.n3d('air bag: 0.6 across, folded, standing on y = 0')


def crate():
    m = datagen.Mesh()
    m.box((-0.6, 0.0, -0.45), (0.6, 0.9, 0.45), Q0)
    # Slats across the front and back, the hoist ring on top.
    for z in (-0.47, 0.45):
        m.box((-0.62, 0.12, z), (0.62, 0.22, z + 0.02), Q1)
        m.box((-0.62, 0.68, z), (0.62, 0.78, z + 0.02), Q1)
    m.box((-0.1, 0.9, -0.1), (0.1, 1.0, 0.1), Q2)
    return m.n3d('crate: 1.2 x 0.9 x 0.9, standing on y = 0', edges=True)


def door():
    m = datagen.Mesh()
    # The leaf turns about its hinge on the y axis: it spans x from 0 to 3.
    m.box((0.0, 0.0, -0.1), (3.0, 3.0, 0.1), Q0)
    m.box((0.0, 0.0, -0.14), (0.12, 3.0, 0.14), Q1)  # hinge post
    m.box((2.5, 1.3, -0.16), (2.8, 1.5, 0.16), Q2)  # lock
    for i in range(5):
        x = 0.3 + 0.6 * i
        m.box((x - 0.04, 2.6, -0.13), (x + 0.04, 2.68, 0.13), Q3)
    return m.n3d('door: a leaf 3 wide and 3 high, its hinge on the y axis, closing a passage along z')


def door_solid():
    # What a diver meets of the door, never drawn: the leaf thickened to a slab 1 thick. A
    # diver's sphere (radius 0.45) moving a long step into the thin leaf would touch both its
    # faces, and their opposite normals would cancel; it cannot reach through this slab.
    m = datagen.Mesh()
    m.box((0.0, 0.0, -0.5), (3.0, 3.0, 0.5), Q0)
    return m.n3d('door_solid: the door leaf\'s collision slab, 3 x 3 x 1 centred on the leaf')


# What divers and the follow camera meet of the crate, the switch, the lift basket and the
# vent, never drawn: each a closed body round what is drawn, thick enough that a diver's
# sphere (radius 0.45) taking a long step cannot touch two opposite faces at once.
def crate_solid():
    m = datagen.Mesh()
    m.box((-0.62, 0.0, -0.47), (0.62, 1.0, 0.47), Q0)
    return m.n3d('crate_solid: the crate with its slats and ring, 1.24 x 1.0 x 0.94')


def switch_solid():
    # The plate with the lever and knob in front of it, thickened behind.
    m = datagen.Mesh()
    m.box((-0.3, 0.0, -0.52), (0.3, 0.8, 0.3), Q0)
    return m.n3d('switch_solid: the plate and its lever, 0.6 x 0.8 x 0.82')


def basket_solid():
    # The cage closed all round: what is inside is reached through the basket's screen.
    m = datagen.Mesh()
    m.box((-1.05, 0.0, -1.05), (1.05, 1.24, 1.05), Q0)
    return m.n3d('basket_solid: the cage, 2.1 x 1.24 x 2.1, standing on y = 0')


def vent_solid():
    # The mound and the chimney up to its glowing mouth; the hot water above stays open.
    m = datagen.Mesh()
    m.ellipsoid((0.0, 0.0, 0.0), (1.4, 0.8, 1.4), Q0, rings=8, segments=16)
    m.ellipsoid((0.0, 1.0, 0.0), (0.7, 0.9, 0.7), Q1, rings=8, segments=14)
    return m.n3d('vent_solid: the mound and the chimney of the vent')


def heap_solid():
    # The heap's mound without its lumps: met head on, a diver meets a face turned back at it
    # and stops, where the drawn sand's lumps would turn it aside.
    m = datagen.Mesh()
    m.ellipsoid((0.0, 0.0, 0.0), (2.0, 1.1, 1.8), Q0, rings=10, segments=18)
    return m.n3d('heap_solid: the sand heap\'s smooth mound, 4 across, 1.1 high, its foot at y = 0')


SOLIDS = {'door': door_solid, 'crate': crate_solid, 'switch': switch_solid, 'basket': basket_solid,
          'vent': vent_solid, 'heap': heap_solid}


def water():
    # The chamber's water, 3 deep: scaled in y with its level.
    m = datagen.Mesh()
    m.box((-3.0, 0.0, -3.0), (3.0, 3.0, 3.0), (0.02, 0.02, 0.98, 0.98))
    return m.n3d('water: 6 x 3 x 6 standing on y = 0')


def heap():
    noise = datagen.Noise2(6029, period=8)

    def bump(dx, dy, dz):
        return 0.85 + 0.3 * noise.fractal(2 + dx * 1.7, 2 + dz * 1.7, 3)

    m = datagen.Mesh()
    m.ellipsoid((0.0, 0.0, 0.0), (2.0, 1.1, 1.8), (0.02, 0.02, 0.98, 0.98), rings=10, segments=18, bump=bump)
    return m.n3d('sand heap: 4 across, 1.1 high, its foot at y = 0')


def switch():
    m = datagen.Mesh()
    m.box((-0.3, 0.0, -0.08), (0.3, 0.8, 0.08), Q0)  # plate
    m.box((-0.05, 0.35, -0.4), (0.05, 0.45, -0.08), Q2)  # lever
    m.ellipsoid((0.0, 0.4, -0.44), (0.07, 0.07, 0.07), Q1, rings=6, segments=10)  # knob
    return m.n3d('switch: a plate 0.6 x 0.8, the lever towards -z')


def basket():
    m = datagen.Mesh()
    w, h = 1.0, 1.2
    m.box((-w, 0.0, -w), (w, 0.08, w), Q2)  # floor
    for sx in (-1, 1):
        for sz in (-1, 1):
            m.box((sx * w - 0.05, 0.0, sz * w - 0.05), (sx * w + 0.05, h, sz * w + 0.05), Q0)  # posts
    for y in (0.6, h):
        m.box((-w, y - 0.04, -w - 0.03), (w, y + 0.04, -w + 0.03), Q3)
        m.box((-w, y - 0.04, w - 0.03), (w, y + 0.04, w + 0.03), Q3)
        m.box((-w - 0.03, y - 0.04, -w), (-w + 0.03, y + 0.04, w), Q3)
        m.box((w - 0.03, y - 0.04, -w), (w + 0.03, y + 0.04, w), Q3)
    # The lift's cable going up to the surface.
    m.box((-0.03, h, -0.03), (0.03, h + 6.0, 0.03), Q1)
    return m.n3d('basket: 2 x 2 x 1.2 with its cable, standing on y = 0')


def fish():
    m = datagen.Mesh()
    m.ellipsoid((0.0, 0.0, 0.0), (0.12, 0.22, 0.5), Q0, rings=8, segments=14)  # body
    m.ellipsoid((0.0, -0.06, -0.05), (0.1, 0.12, 0.38), Q1, rings=6, segments=10)  # belly
    m.box((-0.01, -0.2, 0.45), (0.01, 0.2, 0.7), Q2)  # tail
    m.box((-0.01, 0.18, -0.1), (0.01, 0.34, 0.2), Q2)  # back fin
    for side in (-1, 1):
        m.ellipsoid((side * 0.09, 0.06, -0.34), (0.03, 0.03, 0.03), Q3, rings=4, segments=6)  # eyes
    return m.n3d('fish: 1.2 long, the head along -z', edges=True)


def vent():
    m = datagen.Mesh()
    # The mound rises from its foot at y = 0 as the heap does: its lower half lies in the sand.
    m.ellipsoid((0.0, 0.0, 0.0), (1.4, 0.8, 1.4), Q0, rings=8, segments=16)  # mound
    m.ellipsoid((0.0, 1.0, 0.0), (0.7, 0.9, 0.7), Q1, rings=8, segments=14)  # chimney
    m.ellipsoid((0.0, 1.85, 0.0), (0.35, 0.12, 0.35), Q2, rings=5, segments=12)  # glowing mouth
    m.ellipsoid((0.0, 2.1, 0.0), (0.25, 0.3, 0.25), Q3, rings=5, segments=10)  # hot water
    return m.n3d('vent: a hot chimney 2.4 high on a mound 2.8 across, its foot at y = 0', edges=True)


MESHES = {
    'camera': camera, 'cutter': cutter, 'sandremover': sandremover, 'airbag': airbag, 'crate': crate,
    'door': door, 'heap': heap, 'switch': switch, 'basket': basket, 'fish': fish, 'vent': vent,
    'water': water,
}


def use_sound(seconds=0.35):
    # A shutter's click followed by a short motor whirr.
    n = int(RATE * seconds)
    r = datagen.rng(311)
    out = []
    for i in range(n):
        t = i / RATE
        click = (r.random() * 2 - 1) * math.exp(-t * 120)
        whirr = 0.25 * math.sin(2 * math.pi * (900 + 600 * t) * t) * (1 - i / n) if t > 0.04 else 0.0
        out.append(0.8 * click + whirr)
    return datagen.wav(RATE, out)


def door_sound(seconds=1.4):
    # Metal grinding open: a low wobbling tone with rough noise, swelling and dying away.
    n = int(RATE * seconds)
    r = datagen.rng(733)
    out = []
    smooth = 0.0
    for i in range(n):
        t = i / n
        env = math.sin(math.pi * t) ** 0.6
        f = 70 + 25 * math.sin(2 * math.pi * 3 * t)
        tone = math.sin(2 * math.pi * f * i / RATE) + 0.4 * math.sin(2 * math.pi * 2.02 * f * i / RATE)
        smooth += 0.15 * ((r.random() * 2 - 1) - smooth)
        out.append(0.45 * env * (0.6 * tone + 0.8 * smooth))
    return datagen.wav(RATE, out)


def bite_sound(seconds=0.3):
    # Two quick snaps of jaws with a dull thump under them.
    n = int(RATE * seconds)
    r = datagen.rng(919)
    out = [0.0] * n
    for start in (0, int(RATE * 0.11)):
        for k in range(int(RATE * 0.08)):
            if start + k >= n:
                break
            t = k / RATE
            snap = (r.random() * 2 - 1) * math.exp(-t * 90)
            thump = math.sin(2 * math.pi * 110 * t) * math.exp(-t * 40)
            out[start + k] += 0.7 * snap + 0.5 * thump
    return datagen.wav(RATE, out)


def main():
    stage = datagen.stage_dir()
    for name, make in MESHES.items():
        datagen.write(stage, 'meshes/%s.n3d' % name, make())
        datagen.write(stage, 'textures/%s.png' % name, texture(name))
    for name, make in SOLIDS.items():
        datagen.write(stage, 'meshes/%s_solid.n3d' % name, make())
    datagen.write(stage, 'sounds/use.wav', use_sound())
    datagen.write(stage, 'sounds/door.wav', door_sound())
    datagen.write(stage, 'sounds/bite.wav', bite_sound())


if __name__ == '__main__':
    main()
