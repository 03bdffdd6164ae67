#include "gfx/nPixelFormat.h"

#include <cstdlib>
#include <cstring>

#include "kernel/nKernelServer.h"

namespace {

uint32_t readPixel(const uint8_t* p, int bpp) {
    switch (bpp) {
    case 16: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    // 24-bit pixels keep bits 16-23 in their first byte.
    case 24: return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[2]);
    case 32: return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    default: return 0;
    }
}

void writePixel(uint8_t* p, int bpp, uint32_t v) {
    switch (bpp) {
    case 16: p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); break;
    case 24: p[0] = uint8_t(v >> 16); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v); break;
    case 32: p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24); break;
    default: break;
    }
}

// Shift left for positive amounts, right for negative; amounts past the word give 0.
uint32_t shiftBy(uint32_t v, int amount) {
    if (amount >= 32 || amount <= -32) return 0;
    return amount >= 0 ? v << amount : v >> -amount;
}

int bytesOf(int bpp) { return bpp > 0 ? (bpp + 7) / 8 : 0; }

} // namespace

int nPixelFormat::MaskShift(uint32_t mask) {
    if (mask == 0) return 0;
    int low = 0;
    while (!(mask & (1u << low))) ++low;
    int run = 0;
    while (low + run < 32 && (mask & (1u << (low + run)))) ++run;
    return low + run - 8;
}

nPixelFormat::nPixelFormat(int bpp_, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
    : type(RGBA), bpp(bpp_), palette(nullptr), rmask(r), gmask(g), bmask(b), amask(a),
      rshift(MaskShift(r)), gshift(MaskShift(g)), bshift(MaskShift(b)), ashift(MaskShift(a)),
      source(nullptr) {}

nPixelFormat::nPixelFormat(const uint8_t* pal, int bpp_)
    : type(CLUT), bpp(bpp_), palette(nullptr), rmask(0), gmask(0), bmask(0), amask(0),
      rshift(0), gshift(0), bshift(0), ashift(0), source(nullptr) {
    if (bpp < 1 || bpp > 8) {
        n_error("nPixelFormat: palette format with %d bits per pixel not supported\n", bpp);
        return;
    }
    size_t size = size_t(4) << bpp;
    // Zeroed rather than uninitialised, so unused entries read as black.
    palette = static_cast<uint8_t*>(std::calloc(size, 1));
    if (palette && pal) std::memcpy(palette, pal, size);
}

nPixelFormat::nPixelFormat(const nPixelFormat& other) : palette(nullptr) { copyFrom(other); }

nPixelFormat& nPixelFormat::operator=(const nPixelFormat& other) {
    if (this != &other) {
        std::free(palette);
        palette = nullptr;
        copyFrom(other);
    }
    return *this;
}

nPixelFormat::~nPixelFormat() { std::free(palette); }

void nPixelFormat::copyFrom(const nPixelFormat& o) {
    type = o.type;
    bpp = o.bpp;
    rmask = o.rmask; gmask = o.gmask; bmask = o.bmask; amask = o.amask;
    rshift = o.rshift; gshift = o.gshift; bshift = o.bshift; ashift = o.ashift;
    source = nullptr;
    if (o.palette) {
        size_t size = size_t(4) << o.bpp;
        palette = static_cast<uint8_t*>(std::malloc(size));
        if (palette) std::memcpy(palette, o.palette, size);
    }
}

int nPixelFormat::PaletteEntries() const {
    return (type == CLUT && palette) ? (1 << bpp) : 0;
}

bool nPixelFormat::BeginConv(const nPixelFormat* src) {
    source = src;
    if (!src) return true;
    if (type == CLUT && src->type == RGBA) {
        nKernelServer::FatalError("nPixelFormat: illegal conversion, rgba->clut!");
    }
    if (type == CLUT && src->type == CLUT && palette && src->palette) {
        // Never copy more than this palette holds.
        int n = src->PaletteEntries() < PaletteEntries() ? src->PaletteEntries() : PaletteEntries();
        std::memcpy(palette, src->palette, size_t(4) * n);
    }
    return true;
}

void nPixelFormat::Conv(const void* srcv, void* dstv, int count) const {
    if (!source) {
        n_error("nPixelFormat::Conv(): no source format, BeginConv() not called\n");
        return;
    }
    if (count <= 0 || !srcv || !dstv) return;
    const uint8_t* s = static_cast<const uint8_t*>(srcv);
    uint8_t* d = static_cast<uint8_t*>(dstv);
    const nPixelFormat& sf = *source;

    if (sf.type == RGBA && type == RGBA) {
        if (sf.bpp == bpp && sf.rmask == rmask && sf.gmask == gmask && sf.bmask == bmask &&
            sf.amask == amask) {
            std::memcpy(d, s, size_t(bytesOf(bpp)) * size_t(count));
            return;
        }
        const int sstep = bytesOf(sf.bpp);
        const int dstep = bytesOf(bpp);
        for (int i = 0; i < count; ++i, s += sstep, d += dstep) {
            uint32_t p = readPixel(s, sf.bpp);
            uint32_t r = shiftBy(p & sf.rmask, rshift - sf.rshift) & rmask;
            uint32_t g = shiftBy(p & sf.gmask, gshift - sf.gshift) & gmask;
            uint32_t b = shiftBy(p & sf.bmask, bshift - sf.bshift) & bmask;
            // A source without alpha is opaque.
            uint32_t a = sf.amask ? (p & sf.amask) : 0xFFFFFFFFu;
            a = shiftBy(a, ashift - sf.ashift) & amask;
            writePixel(d, bpp, r | g | b | a);
        }
    } else if (sf.type == CLUT && type == RGBA) {
        const int entries = sf.PaletteEntries();
        const int dstep = bytesOf(bpp);
        for (int i = 0; i < count; ++i, ++s, d += dstep) {
            uint32_t r = 0, g = 0, b = 0;
            if (*s < entries) {
                const uint8_t* e = sf.palette + 4 * *s;
                r = shiftBy(e[0], rshift) & rmask;
                g = shiftBy(e[1], gshift) & gmask;
                b = shiftBy(e[2], bshift) & bmask;
            }
            writePixel(d, bpp, r | g | b | (0xFFFFFFFFu & amask));
        }
    } else if (sf.type == CLUT && type == CLUT) {
        std::memcpy(d, s, size_t(count));
    } else {
        n_error("nPixelFormat::Conv(): illegal conversion, rgba->clut\n");
    }
}
