#pragma once
// A movie's text faces: font faces opened by name and pixel height through the font
// layer, each with its glyphs' coverage rasterised once and trimmed to their ink, so
// that drawing text costs blending only. Faces that do not open are remembered.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/font/Face.h"

namespace flash {

class GlyphCache {
public:
    struct Glyph {
        bool made = false;
        int left = 0;  // from the pen's cell corner to the coverage's top left
        int top = 0;
        int width = 0;
        int height = 0;
        std::vector<uint8_t> coverage;
    };
    struct Font {
        std::string name;
        int pixels = 0;
        std::unique_ptr<font::Face> face;  // null when it did not open
        std::array<Glyph, 256> glyphs;
        uint64_t lastUse = 0;
    };

    // Faces kept at once; the one used longest ago makes room.
    static constexpr size_t MaxFonts = 16;
    static constexpr int MaxPixels = 512;

    // The face `name` at `pixels` height; null when it does not open (the reason in
    // `error` the first time).
    Font* Get(std::string_view name, int pixels, std::string& error);
    // The glyph of a Windows-1252 code, rasterised on first use.
    const Glyph& GlyphOf(Font& font, uint8_t code);

private:
    std::vector<std::unique_ptr<Font>> fonts;
    std::vector<uint32_t> scratch;
    uint64_t uses = 0;
};

}  // namespace flash
