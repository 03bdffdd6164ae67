#pragma once
// Small PNG and TGA files built byte by byte (PNG with stored, uncompressed deflate
// blocks), so that image loading is tested without any image writer.
#include <cstdint>
#include <vector>

namespace imagebytes {

// Pixels are given top row first as 0xAARRGGBB.
inline std::vector<uint8_t> Tga24(int w, int h, const std::vector<uint32_t>& argb) {
    std::vector<uint8_t> v(18, 0);
    v[2] = 2;  // uncompressed true colour
    v[12] = uint8_t(w), v[13] = uint8_t(w >> 8), v[14] = uint8_t(h), v[15] = uint8_t(h >> 8);
    v[16] = 24;
    v[17] = 0x20;  // first row is the top
    for (uint32_t p : argb) {
        v.push_back(uint8_t(p));
        v.push_back(uint8_t(p >> 8));
        v.push_back(uint8_t(p >> 16));
    }
    return v;
}

inline uint32_t Crc(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

inline void Be32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 3; i >= 0; --i) v.push_back(uint8_t(x >> (8 * i)));
}

inline void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    Be32(out, uint32_t(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    Be32(out, Crc(body.data(), body.size()));
}

// 8-bit RGBA (withAlpha) or RGB.
inline std::vector<uint8_t> Png(int w, int h, const std::vector<uint32_t>& argb, bool withAlpha) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < w; ++x) {
            uint32_t p = argb[size_t(y * w + x)];
            raw.push_back(uint8_t(p >> 16));
            raw.push_back(uint8_t(p >> 8));
            raw.push_back(uint8_t(p));
            if (withAlpha) raw.push_back(uint8_t(p >> 24));
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z.push_back(at + n >= raw.size() ? 1 : 0);
        z.push_back(uint8_t(n)), z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n)), z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        if (raw.empty()) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
    Be32(z, b << 16 | a);
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    Be32(ihdr, uint32_t(w));
    Be32(ihdr, uint32_t(h));
    ihdr.insert(ihdr.end(), {8, uint8_t(withAlpha ? 6 : 2), 0, 0, 0});
    Chunk(out, "IHDR", ihdr);
    Chunk(out, "IDAT", z);
    Chunk(out, "IEND", {});
    return out;
}

}  // namespace imagebytes
