#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Builds BMP files byte by byte, so that tests can make headers that lie.
struct BmpBytes {
    int32_t width = 2, height = 2;
    uint16_t bpp = 24;
    uint32_t compression = 0;
    uint32_t infoSize = 40;
    uint32_t coloursUsed = 0;
    int64_t dataOffset = -1; // -1: right after headers and palette
    std::vector<uint8_t> palette;  // raw b, g, r, x entries
    std::vector<uint8_t> pixels;   // raw rows as stored

    static void u16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
        v[at] = uint8_t(x); v[at + 1] = uint8_t(x >> 8);
    }
    static void u32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
        for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
    }
    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> v(std::max<size_t>(54, 14 + infoSize), 0);
        v[0] = 'B'; v[1] = 'M';
        size_t off = dataOffset >= 0 ? size_t(dataOffset) : 14 + infoSize + palette.size();
        u32(v, 10, uint32_t(off));
        u32(v, 14, infoSize);
        u32(v, 18, uint32_t(width));
        u32(v, 22, uint32_t(height));
        u16(v, 26, 1);
        u16(v, 28, bpp);
        u32(v, 30, compression);
        u32(v, 46, coloursUsed);
        v.insert(v.end(), palette.begin(), palette.end());
        if (v.size() < off) v.resize(off, 0);
        v.insert(v.end(), pixels.begin(), pixels.end());
        u32(v, 2, uint32_t(v.size()));
        return v;
    }
};
