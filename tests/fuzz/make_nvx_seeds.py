#!/usr/bin/env python3
"""Writes the .nvx seeds of fuzz_nvx straight from the file layout with struct, so the
seeds do not come from the engine's own code: header of seven little-endian u32 (magic
0x4E565831, vertices, indices, edges, component mask, data offset, data size), then per
vertex the components of the mask in order, the edges (4 x u16) and the indices (u16)."""
import os
import struct
import sys

def nvx(mask, vertices, edges, indices, gap=0):
    data = bytearray(b"\0" * gap)
    for v in vertices:
        data += struct.pack("<3f", *v["c"])
        if mask & 0x02: data += struct.pack("<3f", *v["n"])
        if mask & 0x04: data += struct.pack("<I", v["rgba"])
        for k in range(4):
            if mask & (0x08 << k): data += struct.pack("<2f", *v["uv"])
        if mask & 0x80: data += struct.pack("<4h4f", *v["j"], *v["w"])
    for e in edges: data += struct.pack("<4H", *e)
    data += struct.pack("<%dH" % len(indices), *indices)
    head = struct.pack("<7I", 0x4E565831, len(vertices), len(indices), len(edges), mask, 28 + gap, len(data) - gap)
    return head + bytes(data)

def vertex(x, y, z, j=(0, -1, -1, -1), w=(1, 0, 0, 0)):
    return {"c": (x, y, z), "n": (0, 0, 1), "rgba": 0xFF804020, "uv": (x, y), "j": j, "w": w}

quad = [vertex(0, 0, 0), vertex(1, 0, 0, (1, 2, -1, -1), (1, 3, 0, 0)), vertex(1, 1, 0, (1, 2, 3, 4), (0, 0, 0, 0)),
        vertex(0, 1, 0, (5, 6, 7, -1), (1, 1, 2, 0))]
out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "nvx")
seeds = {
    "tri.nvx": nvx(0x01, quad[:3], [], [0, 1, 2]),
    "quad_all.nvx": nvx(0xFF, quad, [(0, 2, 1, 3)], [0, 1, 2, 0, 2, 3], gap=4),
    "quad_rgba_uv.nvx": nvx(0x0D, quad, [], [0, 1, 2, 0, 2, 3]),
    "points.nvx": nvx(0x83, quad, [(0, 1, 2, 3), (1, 2, 0, 3)], []),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
