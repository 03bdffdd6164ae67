#pragma once
// Software drawing into 32-bit pixels (bytes B, G, R, A with straight alpha, rows
// top-down): filled rectangles, image blits and glyph coverage, blended source-over and
// clipped to the pixels; and the 16-bit A4R4G4B4 packing of image sprites.
#include <cstddef>
#include <cstdint>

namespace flash {

// A colour as bytes, alpha not multiplied in.
struct Color {
    uint8_t b = 0, g = 0, r = 0, a = 0;
    uint32_t Word() const { return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24; }
};

class Canvas {
public:
    // Draws into `pixels` (not owned; any alignment), `width` × `height` pixels.
    void Attach(uint8_t* pixels, int width, int height);
    int Width() const { return this->width; }
    int Height() const { return this->height; }

    // Rectangles are [x0, x1) × [y0, y1) in pixels; what lies outside is dropped.
    // Clear replaces the pixels, Fill blends over them.
    void Clear(int x0, int y0, int x1, int y1, Color color);
    void Fill(int x0, int y0, int x1, int y1, Color color);
    // An image of straight-alpha words (0xAARRGGBB) with its top left corner at x, y.
    void Blit(const uint32_t* image, int imageWidth, int imageHeight, int x, int y);
    // Coverage bytes (rows of `coverageWidth`) scale the colour's alpha.
    void Blend(const uint8_t* coverage, int coverageWidth, int coverageHeight, int x, int y, Color color);

    // Source-over of straight-alpha words.
    static uint32_t Over(uint32_t destination, uint32_t source) {
        const uint32_t sa = source >> 24;
        if (sa == 255) return source;
        if (sa == 0) return destination;
        const uint32_t da = destination >> 24;
        if (da == 0) return source;
        uint32_t out = 0;
        if (da == 255) {
            const uint32_t ia = 255 - sa;
            for (int shift = 0; shift < 24; shift += 8) {
                out |= ((Channel(source, shift) * sa + Channel(destination, shift) * ia + 127) / 255) << shift;
            }
            return out | 0xFF000000u;
        }
        // Straight alpha under a partly transparent destination: weigh both by coverage.
        const uint32_t w = da * (255 - sa);
        const uint32_t total = sa * 255 + w;
        for (int shift = 0; shift < 24; shift += 8) {
            out |= ((Channel(source, shift) * sa * 255 + Channel(destination, shift) * w + total / 2) / total) << shift;
        }
        return out | ((total + 127) / 255) << 24;
    }
    // Each B, G, R, A pixel as two bytes (G & 0xF0) | (B >> 4) and (A & 0xF0) | (R >> 4).
    static void PackA4R4G4B4(const uint8_t* bgra, uint8_t* out, size_t count);

private:
    static uint32_t Channel(uint32_t word, int shift) { return (word >> shift) & 0xFF; }
    bool Clip(int& x0, int& y0, int& x1, int& y1) const;
    uint8_t* Row(int y) const { return this->pixels + size_t(y) * size_t(this->width) * 4; }

    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
};

}  // namespace flash
