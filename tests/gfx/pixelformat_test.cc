#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gfx/nPixelFormat.h"

namespace {

TEST(nPixelFormat, ShiftsFollowTheMasks) {
    EXPECT_EQ(nPixelFormat::MaskShift(0x8000), 8);      // one alpha bit at 15
    EXPECT_EQ(nPixelFormat::MaskShift(0xFF000000), 24);
    EXPECT_EQ(nPixelFormat::MaskShift(0x07E0), 3);
    EXPECT_EQ(nPixelFormat::MaskShift(0), 0);
    nPixelFormat f(16, 0xF800, 0x07E0, 0x001F, 0);
    EXPECT_EQ(f.bshift, -3);
}

TEST(nPixelFormat, MaskConversions) {
    // Without BeginConv there is no source format: nothing is written.
    nPixelFormat unset(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    uint32_t in = 0x12345678, untouched = 0;
    unset.Conv(&in, &untouched, 1);
    EXPECT_EQ(untouched, 0u);

    // X8R8G8B8 to A8R8G8B8: a source without alpha becomes opaque.
    nPixelFormat x8(32, 0xFF0000, 0xFF00, 0xFF, 0);
    nPixelFormat a8(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    uint32_t src[2] = {0x00123456, 0x7F000000};
    uint32_t dst[2] = {};
    ASSERT_TRUE(a8.BeginConv(&x8));
    a8.Conv(src, dst, 2);
    EXPECT_EQ(dst[0], 0xFF123456u);
    EXPECT_EQ(dst[1], 0xFF000000u);

    // Equal formats are copied byte for byte.
    nPixelFormat a8b(a8);
    a8b.BeginConv(&a8);
    uint32_t same[1] = {};
    a8b.Conv(src, same, 1);
    EXPECT_EQ(same[0], src[0]);

    // A8R8G8B8 to R5G6B5 keeps the top bits, little-endian words.
    nPixelFormat r565(16, 0xF800, 0x07E0, 0x001F, 0);
    r565.BeginConv(&a8);
    uint32_t white = 0xFFFFFFFF;
    uint32_t mixed = 0x80AB5C3F;
    uint8_t out[4] = {};
    r565.Conv(&white, out, 1);
    r565.Conv(&mixed, out + 2, 1);
    EXPECT_EQ(out[0] | out[1] << 8, 0xFFFF);
    EXPECT_EQ(out[2] | out[3] << 8, (0xA8 << 8) | (0x5C & 0xFC) << 3 | 0x3F >> 3);

    // And back: the low bits are zero.
    nPixelFormat back(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    back.BeginConv(&r565);
    uint32_t wide = 0;
    back.Conv(out, &wide, 1);
    EXPECT_EQ(wide, 0xFFF8FCF8u);

    // A1R5G5B5 alpha is one bit with shift 8.
    nPixelFormat a1(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    a1.BeginConv(&a8);
    uint32_t half[2] = {0x80FFFFFF, 0x7FFFFFFF};
    uint8_t w16[4] = {};
    a1.Conv(half, w16, 2);
    EXPECT_EQ(w16[0] | w16[1] << 8, 0xFFFF);
    EXPECT_EQ(w16[2] | w16[3] << 8, 0x7FFF);
}

TEST(nPixelFormat, PaletteConversions) {
    std::vector<uint8_t> pal(256 * 4, 0);
    pal[4 * 1 + 0] = 0x11; pal[4 * 1 + 1] = 0x22; pal[4 * 1 + 2] = 0x33; pal[4 * 1 + 3] = 0;
    nPixelFormat clut(pal.data(), 8);
    EXPECT_EQ(clut.type, nPixelFormat::CLUT);
    EXPECT_EQ(clut.PaletteEntries(), 256);

    // Index to A8R8G8B8: palette alpha is ignored, the result is opaque.
    nPixelFormat a8(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    a8.BeginConv(&clut);
    uint8_t idx[2] = {1, 0};
    uint32_t px[2] = {};
    a8.Conv(idx, px, 2);
    EXPECT_EQ(px[0], 0xFF112233u);
    EXPECT_EQ(px[1], 0xFF000000u);

    // Palette to palette copies the palette and the index bytes.
    nPixelFormat other(nullptr, 8);
    ASSERT_NE(other.palette, nullptr);
    other.BeginConv(&clut);
    EXPECT_EQ(0, std::memcmp(other.palette, clut.palette, 256 * 4));
    uint8_t copy[2] = {};
    other.Conv(idx, copy, 2);
    EXPECT_EQ(copy[0], 1);

    // A smaller palette receives only what it holds; indices past it read black.
    nPixelFormat small(nullptr, 4);
    small.BeginConv(&clut);
    EXPECT_EQ(small.palette[4 * 1 + 1], 0x22);
    nPixelFormat r8(32, 0xFF, 0xFF00, 0xFF0000, 0);
    r8.BeginConv(&small);
    uint8_t far[1] = {200};
    uint32_t black = 1;
    r8.Conv(far, &black, 1);
    EXPECT_EQ(black, 0u);

    // Copies own their palette.
    nPixelFormat dup(clut);
    dup.palette[4] = 0x99;
    EXPECT_EQ(clut.palette[4], 0x11);
    dup = small;
    EXPECT_EQ(dup.bpp, 4);
    EXPECT_EQ(dup.PaletteEntries(), 16);
}

} // namespace
