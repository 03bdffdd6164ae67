#!/usr/bin/env python3
"""Textures of the demo level's meshes as RGB PNG files, and its bubble sprite (RGBA).

    python3 tools/datagen/gen_textures.py <stage>  ->  <stage>/textures/{seabed,rock,diver,bubble,surface}.png

The seabed's sand and the rock's stone tile seamlessly. The diver's texture holds four
quarters that gen_meshes.py maps its parts onto; its suit is a strong orange (about
RGB 240, 120, 20) so that a picture of the game shows where the diver is. The bubble is
an RGBA sprite of the level's rising bubbles. The water's surface, seen from below, is a
bright blue-green with the light's wavering net on it; it tiles too.
"""
import math

import datagen

SUIT = (240, 120, 20)


def seabed(size=256):
    noise = datagen.Noise2(1203, period=8)
    grain = datagen.rng(77)
    speckle = [grain.random() for _ in range(size * size)]

    def pixel(x, y):
        u, v = x / size, y / size
        # Sand ripples: a wave bent by noise, so the ridges wander.
        ripple = 0.5 + 0.5 * math.sin(2 * math.pi * (6 * u + 1.5 * noise.fractal(u * 8, v * 8, 2)))
        shade = 0.78 + 0.14 * noise.fractal(u * 8, v * 8, 4) + 0.08 * ripple + 0.06 * (speckle[y * size + x] - 0.5)
        return (196 * shade, 176 * shade, 128 * shade)

    return datagen.png(size, size, pixel)


def rock(size=128):
    noise = datagen.Noise2(2718, period=8)

    def pixel(x, y):
        u, v = x / size, y / size
        n = noise.fractal(u * 8, v * 8, 5)
        veins = abs(math.sin(2 * math.pi * (3 * u + 2 * n)))
        g = 70 + 70 * n + 18 * veins
        # Greenish growth in the hollows.
        moss = max(0.0, 0.45 - n) * 40
        return (g * 1.02, g * 0.97 + moss * 0.3, g * 0.88)

    return datagen.png(size, size, pixel)


def diver(size=64):
    half = size // 2

    def pixel(x, y):
        if y < half and x < half:
            # The suit, with a faint seam every eight texels.
            k = 0.92 if x % 8 == 0 else 1.0
            return (SUIT[0] * k, SUIT[1] * k, SUIT[2] * k)
        if y < half:
            return (150, 156, 160) if (y // 4) % 2 else (130, 136, 140)  # tank
        if x < half:
            return (22, 22, 26)  # hood and fins
        return (120, 170, 190)  # mask glass

    return datagen.png(size, size, pixel)


def bubble(size=32):
    # An air bubble seen against the water: a clear middle, a bright rim and a glint up
    # to the left; outside the rim fully transparent, so the sprite's square never shows.
    half = size / 2

    def pixel(x, y):
        dx, dy = (x + 0.5 - half) / half, (y + 0.5 - half) / half
        r = math.sqrt(dx * dx + dy * dy)
        if r >= 1.0:
            return (255, 255, 255, 0)
        rim = max(0.0, 1.0 - abs(r - 0.82) / 0.18)
        gx, gy = dx + 0.38, dy + 0.38
        glint = max(0.0, 1.0 - math.sqrt(gx * gx + gy * gy) / 0.22)
        alpha = 0.22 + 0.7 * rim + 0.8 * glint
        return (200 + 55 * glint, 235 + 20 * glint, 255, 255 * min(1.0, alpha))

    return datagen.png(size, size, pixel, alpha=True)


def surface(size=128):
    noise = datagen.Noise2(3301, period=8)

    def pixel(x, y):
        u, v = x / size, y / size
        # The net of light that the waves focus: bright where two bent waves meet.
        a = abs(math.sin(2 * math.pi * (2 * u + 0.8 * noise.fractal(u * 4, v * 4, 3))))
        b = abs(math.sin(2 * math.pi * (2 * v + 0.8 * noise.fractal(4 + u * 4, 4 + v * 4, 3))))
        glow = max(0.0, 1.0 - min(a, b) * 4.0)
        return (120 + 70 * glow, 215 + 35 * glow, 225 + 30 * glow)

    return datagen.png(size, size, pixel)


def main():
    stage = datagen.stage_dir()
    datagen.write(stage, 'textures/seabed.png', seabed())
    datagen.write(stage, 'textures/rock.png', rock())
    datagen.write(stage, 'textures/diver.png', diver())
    datagen.write(stage, 'textures/bubble.png', bubble())
    datagen.write(stage, 'textures/surface.png', surface())


if __name__ == '__main__':
    main()
