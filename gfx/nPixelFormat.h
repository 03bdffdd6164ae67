#pragma once

#include <cstdint>

// Layout of pixels in memory (bit masks or an 8-bit palette) and conversion of
// rows of pixels from one layout to another.
class nPixelFormat {
public:
    enum Type { CLUT = 0, RGBA = 1 };

    // Mask format; the shifts are derived from the masks.
    nPixelFormat(int bpp, uint32_t r, uint32_t g, uint32_t b, uint32_t a);
    // Palette format with a copy of 2^bpp entries of r, g, b, a (zeroed when null).
    nPixelFormat(const uint8_t* palette, int bpp);
    nPixelFormat(const nPixelFormat& other);
    nPixelFormat& operator=(const nPixelFormat& other);
    ~nPixelFormat();

    // Called on the destination format before Conv.
    bool BeginConv(const nPixelFormat* source);
    void Conv(const void* src, void* dst, int count) const;

    // Shift that places the top 8 bits of a channel into `mask`.
    static int MaskShift(uint32_t mask);

    int type;
    int bpp;
    uint8_t* palette;
    uint32_t rmask, gmask, bmask, amask;
    int rshift, gshift, bshift, ashift;
    const nPixelFormat* source;

    // Number of palette entries (0 for mask formats).
    int PaletteEntries() const;

private:
    void copyFrom(const nPixelFormat& other);
};

