#!/usr/bin/env python3
"""Writes two_curves.nax from the .nax layout alone (struct, little-endian), so the
curve reader is checked against bytes our own writer did not make.

Curve "rot": 4 packed keys, 2 keys per second, quaternion, loop: a quarter turn about y
per key interval. Curve "pos": 3 float keys, 1 key per second, linear, oneshot, start
key 1: x goes 0, 2, 4. Both records carry wrong block tags and lengths, which a reader
must skip by position."""
import math
import struct
import sys


def pack(v):
    v = max(-1.0, min(1.0, v))
    return int(math.floor((v + 1.0) * 32767.5 + 0.5))


def record(name, start, keys, kps, ipol, repeat, packed, data):
    name = name.encode()
    out = struct.pack("<II", 0x21212121, 9999)  # wrong header tag and length
    out += struct.pack("<IIfBBBBH", start, keys, kps, ipol, repeat, packed, 0, len(name))
    out += name
    out += struct.pack("<II", 0x42424242, 7)  # wrong data tag and length
    return out + data


rot = b""
for k in range(4):
    a = k * math.pi / 4  # half of a quarter turn per key
    rot += struct.pack("<4H", pack(0.0), pack(math.sin(a)), pack(0.0), pack(math.cos(a)))
pos = b"".join(struct.pack("<4f", 2.0 * k, 0.0, 0.0, 0.0) for k in range(3))

body = record("rot", 0, 4, 2.0, 2, 0, 1, rot) + record("pos", 1, 3, 1.0, 1, 1, 0, pos)
data = struct.pack("<III", 0x4E415830, 4, 2) + body
with open(sys.argv[1] if len(sys.argv) > 1 else "two_curves.nax", "wb") as f:
    f.write(data)
