#pragma once
// Builds NTX files byte by byte from the format's layout (magic "1XTN", block count,
// 32-byte records, then the data), apart from the engine's own writer, so that reader
// and writer cannot agree on a mistake. Records may be edited before Build to lie.
#include <cstdint>
#include <vector>

struct NtxBytes {
    struct Block {
        uint32_t format, type, width, height, depth, mip;
        uint32_t offset = 0, size = 0;  // filled by Layout
        uint8_t fill = 0;               // every data byte, unless `data` is given
        std::vector<uint8_t> data;
    };
    std::vector<Block> blocks;
    uint32_t magic = 0x4E545831;

    static uint32_t Bytes(uint32_t format) { return format == 1 ? 3 : format == 2 ? 4 : 2; }

    NtxBytes& Add(uint32_t format, uint32_t type, uint32_t w, uint32_t h, uint32_t depth, uint32_t mip,
                  uint8_t fill = 0) {
        blocks.push_back(Block{format, type, w, h, depth, mip, 0, 0, fill, {}});
        return *this;
    }
    // Offsets and sizes as the format defines them.
    void Layout() {
        uint32_t at = 8 + 32 * uint32_t(blocks.size());
        for (Block& b : blocks) {
            b.size = b.width * b.height * b.depth * Bytes(b.format);
            b.offset = at;
            at += b.size;
        }
    }
    static void Put(std::vector<uint8_t>& v, uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
    }
    // Records as they stand; the data goes after the table in block order.
    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> v;
        Put(v, magic);
        Put(v, uint32_t(blocks.size()));
        for (const Block& b : blocks)
            for (uint32_t x : {b.format, b.type, b.width, b.height, b.depth, b.mip, b.offset, b.size}) Put(v, x);
        for (const Block& b : blocks) {
            if (!b.data.empty()) v.insert(v.end(), b.data.begin(), b.data.end());
            else v.insert(v.end(), b.size, b.fill);
        }
        return v;
    }
};
