#!/usr/bin/env python3
"""Sounds of the demo level as mono 16-bit PCM WAV files at 22050 Hz.

    python3 tools/datagen/gen_sounds.py <stage>  ->  <stage>/sounds/{ambient,bubbles}.wav

The ambient hum loops without a click: every part of it completes whole cycles over
the file's length. The bubbles are a short run of rising blips.
"""
import math

import datagen

RATE = 22050


def ambient(seconds=4):
    n = RATE * seconds
    # Whole cycles per loop for each partial and for the slow swell.
    partials = [(55 * seconds, 0.30), (82 * seconds, 0.16), (110 * seconds, 0.10), (165 * seconds, 0.05)]
    r = datagen.rng(31)
    phases = [r.random() * 2 * math.pi for _ in partials]
    out = []
    for i in range(n):
        t = i / n
        swell = 0.75 + 0.25 * math.sin(2 * math.pi * 2 * t)
        s = sum(a * math.sin(2 * math.pi * c * t + p) for (c, a), p in zip(partials, phases))
        out.append(0.8 * swell * s)
    return datagen.wav(RATE, out)


def bubbles(seconds=1.5, count=9):
    n = int(RATE * seconds)
    out = [0.0] * n
    r = datagen.rng(58)
    for _ in range(count):
        start = int(r.random() * (n - RATE * 0.12))
        length = int(RATE * (0.04 + 0.06 * r.random()))
        f0 = 300 + 500 * r.random()
        amp = 0.25 + 0.3 * r.random()
        phase = 0.0
        for k in range(length):
            t = k / length
            # A bubble's pitch rises as it frees itself; it fades out quickly.
            phase += 2 * math.pi * f0 * (1 + 1.5 * t) / RATE
            env = math.sin(math.pi * min(1.0, t * 8)) if t < 0.125 else (1 - t) ** 2
            out[start + k] += amp * env * math.sin(phase)
    return datagen.wav(RATE, out)


def main():
    stage = datagen.stage_dir()
    datagen.write(stage, 'sounds/ambient.wav', ambient())
    datagen.write(stage, 'sounds/bubbles.wav', bubbles())


if __name__ == '__main__':
    main()
