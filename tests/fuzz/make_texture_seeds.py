#!/usr/bin/env python3
"""Writes the hostile picture files of the texture and picture fuzz seeds: small files
whose headers promise what their bytes do not hold, in formats the loaders refuse and in
the three they read. Run from this folder; the seeds are committed."""
import struct
import zlib

# The texture fuzzer's first byte picks the extension (its index in texture_fuzz.cc).
EXT = {".png": 0, ".jpg": 1, ".jpeg": 2, ".bmp": 3, ".ntx": 4, ".tga": 5, ".dds": 6, ".psd": 7, ".wal": 8, ".cut": 9}


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_header_only(w, h):
    # The first row's bytes only: a reader that trusts the header decodes 64 M pixels.
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
            png_chunk(b"IDAT", zlib.compress(bytes(1 + 3 * w), 9)) + png_chunk(b"IEND", b""))


def png_rgba(w, h, rows):
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b""))


hostile = {
    # A four-byte Quake texture: DevIL's reader freed its buffer twice.
    "wal_4_bytes": (".wal", b"\x10\x00\x00\x00"),
    # A Photoshop header of 30000 x 30000 x 3 channels and nothing behind it.
    "psd_92_bytes": (".psd", b"8BPS" + struct.pack(">H6xHIIHH", 1, 3, 30000, 30000, 8, 3) + bytes(66)),
    # DirectDraw surfaces whose header promises 65535 x 65535 pixels (and a mip chain).
    "dds_136_bytes": (".dds", b"DDS " + struct.pack("<7I", 124, 0x2100F, 65535, 65535, 0, 0, 17) + bytes(44) +
                      struct.pack("<2I4s5I", 32, 4, b"DXT5", 0, 0, 0, 0, 0) + struct.pack("<4I", 0x401008, 0, 0, 0) +
                      bytes(12)),
    "dds_125_bytes": (".dds", b"DDS " + struct.pack("<7I", 124, 0x100F, 65535, 65535, 0, 0, 0) + bytes(44) +
                      struct.pack("<2I4s5I", 32, 0x41, b"\0\0\0\0", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000) +
                      struct.pack("<4I", 0x1000, 0, 0, 0) + bytes(1)),
    # A Dr. Halo picture of 65535 x 65535.
    "cut_98_bytes": (".cut", struct.pack("<HHH", 65535, 65535, 0) + bytes(92)),
    # A JPEG that ends inside its first marker's length: DevIL's reader waited for more
    # bytes for good. Named as PNG too: the content decides.
    "jpeg_6_bytes": (".jpg", b"\xFF\xD8\xFF\xE7\x5E\x00"),
    "jpeg_6_bytes_as_png": (".png", b"\xFF\xD8\xFF\xE7\x5E\x00"),
    # A PNG of 8192 x 8192 (64 M pixels, past the limit) whose data is missing.
    "png_8192_header_only": (".png", png_header_only(8192, 8192)),
}

for name, (ext, data) in hostile.items():
    with open("corpus/texture/" + name + ext.replace(".", "_"), "wb") as f:
        f.write(bytes([EXT[ext]]) + data)
    # The picture fuzzer: three bytes of sprite size and depth (even first byte: a picture).
    with open("corpus/picture/" + name + ext.replace(".", "_"), "wb") as f:
        f.write(b"\x00\x0f\x0f" + data)

red, clear = b"\xff\x00\x00\xff", b"\x00\x00\xff\x00"
with open("corpus/texture/rgba_2x2_png", "wb") as f:
    f.write(bytes([EXT[".png"] | 0x10]) + png_rgba(2, 2, [red + clear, clear + red]))
