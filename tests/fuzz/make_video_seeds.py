#!/usr/bin/env python3
"""Writes the seeds of fuzz_video straight from the AVI layout with struct, so the seeds
do not come from FFmpeg's writers: RIFF 'AVI ' with an 'avih' header, one 'strl' per
stream ('strh' + 'strf': a BITMAPINFOHEADER, with 256 colours for 8 bits, or a
WAVEFORMATEX for 16-bit PCM), a 'movi' list of '00db' frames (DIB rows bottom-up, padded
to 4 bytes) and '01wb' sound, and an 'idx1' index; plus a Bink signature followed by junk,
and text files under video names that would make a demuxer open a URL, a socket or a
second file (playlists, a concat script, a session description, a streaming manifest)."""
import os
import struct
import sys

def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad

def lst(kind, body):
    return chunk(b"LIST", kind + body)

def avi(width, height, bits, frames, rate=25, scale=1, audio=False):
    row = (width * bits // 8 + 3) & ~3
    palette = b"".join(struct.pack("<4B", i, 255 - i, (i * 7) & 255, 0) for i in range(256)) if bits == 8 else b""
    bih = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, row * height, 0, 0, 256 if bits == 8 else 0, 0)
    vstrh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, scale, rate, 0, len(frames), row * height,
                        0, 0, 0, 0, width, height)
    strls = lst(b"strl", chunk(b"strh", vstrh) + chunk(b"strf", bih + palette))
    if audio:
        astrh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"auds", b"\0\0\0\0", 0, 0, 0, 0, 1, 8000, 0, 8000, 4096, 0, 2,
                            0, 0, 0, 0)
        wfx = struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16)
        strls += lst(b"strl", chunk(b"strh", astrh) + chunk(b"strf", wfx))
    avih = struct.pack("<14I", 1000000 * scale // rate, 0, 0, 0x10, len(frames), 0, 2 if audio else 1, row * height,
                       width, height, 0, 0, 0, 0)
    hdrl = lst(b"hdrl", chunk(b"avih", avih) + strls)
    movi = b""
    index = b""
    for k, pixels in enumerate(frames):
        index += struct.pack("<4sIII", b"00db", 0x10, 4 + len(movi), len(pixels))
        movi += chunk(b"00db", pixels)
        if audio:
            tone = struct.pack("<320h", *[(8000 if (i // 10) % 2 else -8000) for i in range(320)])
            index += struct.pack("<4sIII", b"01wb", 0x10, 4 + len(movi), len(tone))
            movi += chunk(b"01wb", tone)
    body = b"AVI " + hdrl + lst(b"movi", movi) + chunk(b"idx1", index)
    return b"RIFF" + struct.pack("<I", len(body)) + body

def frame(width, height, bits, k):
    row = (width * bits // 8 + 3) & ~3
    out = b""
    for y in range(height):
        if bits == 24:
            line = bytes([(k * 40) & 255, 200, (y * 30) & 255]) * width
        else:
            line = bytes([(k * 16 + y) & 255]) * width
        out += line + b"\0" * (row - len(line))
    return out

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "video")
os.makedirs(out, exist_ok=True)
seeds = {
    "rgb24.avi": avi(6, 4, 24, [frame(6, 4, 24, k) for k in range(3)]),
    "pal8.avi": avi(5, 3, 8, [frame(5, 3, 8, k) for k in range(2)], rate=30000, scale=1001),
    "sound.avi": avi(4, 2, 24, [frame(4, 2, 24, k) for k in range(2)], audio=True),
    "junk.bik": b"BIKi" + struct.pack("<I", 120) + bytes((i * 37 + 11) & 255 for i in range(120)),
    "variant.m3u8": b"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1000\nhttp://127.0.0.1:9/intro.m3u8\n",
    "playlist.avi": b"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1000\nfile:/nonexistent/bw_outside.m3u8\n",
    "concat.avi": b"ffconcat version 1.0\nfile intro.avi\nfile intro.nut\n",
    "session.avi": b"v=0\no=- 0 0 IN IP4 127.0.0.1\ns=-\nc=IN IP4 127.0.0.1\nt=0 0\n"
                   b"m=video 9 RTP/AVP 96\na=rtpmap:96 H264/90000\n",
    "manifest.bik": b'<?xml version="1.0"?>\n<MPD xmlns="urn:mpeg:dash:schema:mpd:2011" type="static" '
                    b'profiles="urn:mpeg:dash:profile:isoff-on-demand:2011" mediaPresentationDuration="PT1S">'
                    b'<BaseURL>http://127.0.0.1:9/</BaseURL><Period><AdaptationSet mimeType="video/mp4">'
                    b'<Representation id="1" bandwidth="1000"><BaseURL>v.mp4</BaseURL></Representation>'
                    b'</AdaptationSet></Period></MPD>\n',
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
