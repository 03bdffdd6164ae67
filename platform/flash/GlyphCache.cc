#include "platform/flash/GlyphCache.h"

#include <algorithm>

namespace flash {

GlyphCache::Font* GlyphCache::Get(std::string_view name, int pixels, std::string& error) {
    ++this->uses;
    for (auto& font : this->fonts) {
        if (font->pixels == pixels && font->name == name) {
            font->lastUse = this->uses;
            return font->face ? font.get() : nullptr;
        }
    }
    if (pixels < 1 || pixels > MaxPixels) {
        error = "text size of " + std::to_string(pixels) + " pixels is out of range";
        return nullptr;
    }
    auto font = std::make_unique<Font>();
    font->name = std::string(name);
    font->pixels = pixels;
    font->face = font::Face::Open(font->name, pixels, false, false);
    font->lastUse = this->uses;
    if (!font->face) error = "no font face '" + font->name + "'";
    if (this->fonts.size() >= MaxFonts) {
        auto oldest = std::min_element(this->fonts.begin(), this->fonts.end(),
                                       [](const auto& a, const auto& b) { return a->lastUse < b->lastUse; });
        *oldest = std::move(font);
        return (*oldest)->face ? oldest->get() : nullptr;
    }
    this->fonts.push_back(std::move(font));
    return this->fonts.back()->face ? this->fonts.back().get() : nullptr;
}

const GlyphCache::Glyph& GlyphCache::GlyphOf(Font& font, uint8_t code) {
    Glyph& glyph = font.glyphs[code];
    if (glyph.made) return glyph;
    glyph.made = true;
    // Ink may reach past the cell on every side: draw with a margin of an em.
    const int pad = font.pixels;
    const int w = font.face->GetAdvance(code) + 2 * pad, h = font.face->GetCellHeight() + 2 * pad;
    this->scratch.assign(size_t(w) * size_t(h), 0);
    font.face->Draw(code, this->scratch.data(), w, h, pad, pad);
    int x0 = w, y0 = h, x1 = 0, y1 = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if ((this->scratch[size_t(y) * w + x] & 0xFF) == 0) continue;
            x0 = std::min(x0, x);
            y0 = std::min(y0, y);
            x1 = std::max(x1, x + 1);
            y1 = std::max(y1, y + 1);
        }
    }
    if (x0 >= x1) return glyph;  // no ink
    glyph.left = x0 - pad;
    glyph.top = y0 - pad;
    glyph.width = x1 - x0;
    glyph.height = y1 - y0;
    glyph.coverage.resize(size_t(glyph.width) * size_t(glyph.height));
    for (int y = 0; y < glyph.height; ++y) {
        for (int x = 0; x < glyph.width; ++x) {
            glyph.coverage[size_t(y) * glyph.width + x] = uint8_t(this->scratch[size_t(y + y0) * w + x + x0] & 0xFF);
        }
    }
    return glyph;
}

}  // namespace flash
