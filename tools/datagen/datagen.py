"""What the game data generators share: file writing under the stage folder, PNG and
16-bit WAV encoders, ".n3d" mesh text, and a seeded random source and value noise.

Every generator is run as "python3 gen_<what>.py <stage>" and writes its files under
<stage>/<folder>/. Output depends on nothing but the code: fixed seeds, no clock, no
environment, so two runs give the same bytes.
"""
import math
import os
import random
import struct
import sys
import zlib


def stage_dir():
    """The stage folder named on the command line."""
    if len(sys.argv) != 2:
        sys.stderr.write('usage: %s <stage>\n' % os.path.basename(sys.argv[0]))
        sys.exit(2)
    return sys.argv[1]


def write(stage, rel, data):
    """Writes bytes to <stage>/<rel>, making its folders; only a changed file is written,
    so a rerun leaves the files' times alone."""
    if rel != rel.lower():
        raise ValueError('data file names are lower case: %s' % rel)
    path = os.path.join(stage, *rel.split('/'))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if os.path.exists(path):
        with open(path, 'rb') as f:
            if f.read() == data:
                return
    with open(path, 'wb') as f:
        f.write(data)


# ---- random source and noise

def rng(seed):
    """A seeded source; only random() is used, whose sequence Python keeps across versions."""
    return random.Random(seed)


class Noise2:
    """Smooth value noise on a square lattice that wraps every `period` cells, so a
    texture made from it tiles."""

    def __init__(self, seed, period=16):
        r = rng(seed)
        self.period = period
        self.values = [r.random() for _ in range(period * period)]

    def _at(self, i, j):
        p = self.period
        return self.values[(j % p) * p + (i % p)]

    def __call__(self, x, y):
        i, j = math.floor(x), math.floor(y)
        fx, fy = x - i, y - j
        sx, sy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        a = self._at(i, j) + (self._at(i + 1, j) - self._at(i, j)) * sx
        b = self._at(i, j + 1) + (self._at(i + 1, j + 1) - self._at(i, j + 1)) * sx
        return a + (b - a) * sy

    def fractal(self, x, y, octaves=4):
        """Sum of octaves scaled to about 0..1."""
        total, amp, norm = 0.0, 1.0, 0.0
        for _ in range(octaves):
            total += self(x, y) * amp
            norm += amp
            amp *= 0.5
            x, y = x * 2, y * 2
        return total / norm


def clamp8(v):
    return max(0, min(255, int(round(v))))


# ---- PNG

def png(width, height, pixel, alpha=False):
    """An 8-bit RGB PNG, or RGBA with `alpha`; pixel(x, y) gives (r, g, b) or (r, g, b, a)
    with y = 0 the top row."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # no filter
        for x in range(width):
            raw += bytes(clamp8(c) for c in pixel(x, y)[:4 if alpha else 3])

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF)

    header = struct.pack('>IIBBBBB', width, height, 8, 6 if alpha else 2, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + \
        chunk(b'IEND', b'')


# ---- WAV

def wav(rate, samples):
    """A mono 16-bit PCM WAV of samples in -1..1 (clipped)."""
    body = bytearray()
    for s in samples:
        body += struct.pack('<h', max(-32767, min(32767, int(round(s * 32767)))))
    fmt = struct.pack('<HHIIHH', 1, 1, rate, rate * 2, 2, 16)
    return b'RIFF' + struct.pack('<I', 4 + 8 + len(fmt) + 8 + len(body)) + b'WAVE' + \
        b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(body)) + bytes(body)


# ---- meshes

def _num(v):
    text = '%.4f' % v
    return '0.0000' if text == '-0.0000' else text


def normalize(v):
    n = math.sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])
    return (0.0, 1.0, 0.0) if n == 0 else (v[0] / n, v[1] / n, v[2] / n)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


class Mesh:
    """Vertices with a position, a normal and texture coordinates, and triangles whose
    corners run counter-clockwise seen from the side the normal points to (the
    renderer's front faces)."""

    MAX_VERTICES = 65535  # indices are 16 bits

    def __init__(self):
        self.pos, self.nrm, self.uv, self.tris = [], [], [], []

    def vertex(self, p, n, uv):
        self.pos.append(p)
        self.nrm.append(normalize(n))
        self.uv.append(uv)
        return len(self.pos) - 1

    def tri(self, a, b, c):
        self.tris.append((a, b, c))

    def ellipsoid(self, centre, radii, uv_box, rings=10, segments=16, bump=None):
        """A closed ellipsoid; its texture coordinates span uv_box (u0, v0, u1, v1).
        bump(dx, dy, dz) scales the radius along a unit direction (rocks)."""
        cx, cy, cz = centre
        rx, ry, rz = radii
        u0, v0, u1, v1 = uv_box
        first = len(self.pos)
        for i in range(rings + 1):
            theta = math.pi * i / rings
            for j in range(segments + 1):
                phi = 2 * math.pi * (j % segments) / segments
                d = (math.sin(theta) * math.cos(phi), math.cos(theta), math.sin(theta) * math.sin(phi))
                k = bump(*d) if bump else 1.0
                p = (cx + rx * d[0] * k, cy + ry * d[1] * k, cz + rz * d[2] * k)
                n = (d[0] / rx, d[1] / ry, d[2] / rz)
                self.vertex(p, n, (u0 + (u1 - u0) * j / segments, v0 + (v1 - v0) * i / rings))
        self.grid(first, rings, segments)

    def grid(self, first, rings, segments):
        """The triangles of rings + 1 rows of segments + 1 vertices from `first`, closed at the
        first and last ring's pole."""
        row = segments + 1
        for i in range(rings):
            for j in range(segments):
                a = first + i * row + j
                b, c, d = a + 1, a + row, a + row + 1
                # Seen from outside, with theta going down and phi round from +x to +z.
                if i > 0:
                    self.tri(a, b, c)
                if i < rings - 1:
                    self.tri(b, d, c)

    def box(self, lo, hi, uv_box):
        """An axis-aligned box with a flat normal per side."""
        u0, v0, u1, v1 = uv_box
        x0, y0, z0 = lo
        x1, y1, z1 = hi
        sides = [
            ((1, 0, 0), [(x1, y0, z1), (x1, y0, z0), (x1, y1, z0), (x1, y1, z1)]),
            ((-1, 0, 0), [(x0, y0, z0), (x0, y0, z1), (x0, y1, z1), (x0, y1, z0)]),
            ((0, 1, 0), [(x0, y1, z1), (x1, y1, z1), (x1, y1, z0), (x0, y1, z0)]),
            ((0, -1, 0), [(x0, y0, z0), (x1, y0, z0), (x1, y0, z1), (x0, y0, z1)]),
            ((0, 0, 1), [(x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)]),
            ((0, 0, -1), [(x1, y0, z0), (x0, y0, z0), (x0, y1, z0), (x1, y1, z0)]),
        ]
        corners = [(u0, v1), (u1, v1), (u1, v0), (u0, v0)]
        for n, quad in sides:
            ids = [self.vertex(p, n, uv) for p, uv in zip(quad, corners)]
            self.tri(ids[0], ids[1], ids[2])
            self.tri(ids[0], ids[2], ids[3])

    def edges(self):
        """The shadow edges (a, b, c, d): a and b the edge's ends, c the third corner of the
        triangle (a, b, c), d that of its neighbour (b, a, d). Corners at the same place are
        one (parts are seamed at their texture borders and sides); an edge with no
        neighbour, or more than one, is left out."""
        first = {}
        weld = [first.setdefault(tuple(_num(c) for c in p), i) for i, p in enumerate(self.pos)]
        half = {}
        for tri in self.tris:
            a, b, c = (weld[i] for i in tri)
            if a == b or b == c or c == a:
                continue
            for u, v, w in ((a, b, c), (b, c, a), (c, a, b)):
                half.setdefault((u, v), []).append(w)
        out = []
        for (u, v), third in sorted(half.items()):
            other = half.get((v, u), [])
            if u < v and len(third) == 1 and len(other) == 1:
                out.append((u, v, third[0], other[0]))
        return out

    def n3d(self, comment, edges=False):
        """The mesh as .n3d text; with `edges` it carries the edges a shadow is cast from."""
        if len(self.pos) > self.MAX_VERTICES:
            raise ValueError('%d vertices do not fit 16-bit indices' % len(self.pos))
        lines = ['# ' + comment]
        lines += ['v %s %s %s' % tuple(_num(c) for c in p) for p in self.pos]
        lines += ['vn %s %s %s' % tuple(_num(c) for c in n) for n in self.nrm]
        lines += ['vt %s %s' % tuple(_num(c) for c in t) for t in self.uv]
        if edges:
            lines += ['we %d %d %d %d' % e for e in self.edges()]
        lines += ['f %d %d %d' % (a + 1, b + 1, c + 1) for a, b, c in self.tris]
        return ('\n'.join(lines) + '\n').encode('ascii')
