#include "platform/flash/GlyphCache.h"

#include <algorithm>

namespace flash {

namespace {

const GlyphCache::Glyph NoInk{};

// A scratch larger than this is not kept between glyphs: a size of 512 pixels needs 9 MB.
constexpr size_t KeptScratch = size_t(1) << 18;

}  // namespace

GlyphCache& GlyphCache::operator=(GlyphCache&& other) noexcept {
    if (this == &other) return *this;
    Drop();
    this->fonts = std::move(other.fonts);
    this->uses = other.uses;
    this->price = std::move(other.price);
    this->kept = std::move(other.kept);
    this->worked = other.worked;
    this->refused = other.refused;
    this->opened = other.opened;
    other.fonts.clear();
    return *this;
}

void GlyphCache::Drop() {
    this->fonts.clear();
    this->kept.Give(this->kept.Held());
}

size_t GlyphCache::Bytes(const Font& font) {
    size_t bytes = FaceBytes;  // its name among them
    for (const Glyph& glyph : font.glyphs) bytes += glyph.coverage.size();
    return bytes;
}

bool GlyphCache::MakeRoom(size_t bytes, const Font* keep) {
    for (;;) {
        if (this->kept.Take(bytes, MaxBytes)) return true;
        auto oldest = this->fonts.end();
        for (auto it = this->fonts.begin(); it != this->fonts.end(); ++it) {
            if (it->get() != keep && (oldest == this->fonts.end() || (*it)->lastUse < (*oldest)->lastUse)) oldest = it;
        }
        if (oldest == this->fonts.end()) return false;
        const size_t freed = Bytes(**oldest);
        this->fonts.erase(oldest);
        this->kept.Give(freed);
    }
}

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
    if (name.size() > MaxName ||
        std::any_of(name.begin(), name.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7F; })) {
        error = "a face name is a short name: at most " + std::to_string(MaxName) + " bytes, no control characters";
        return nullptr;
    }
    if (this->price && !this->price(error)) return nullptr;
    if (this->fonts.size() >= MaxFonts) {
        auto oldest = std::min_element(this->fonts.begin(), this->fonts.end(),
                                       [](const auto& a, const auto& b) { return a->lastUse < b->lastUse; });
        const size_t freed = Bytes(**oldest);
        this->fonts.erase(oldest);
        this->kept.Give(freed);
    }
    if (!MakeRoom(FaceBytes, nullptr)) {
        error = "no room for another text face: data keeps as much as it may";
        return nullptr;
    }
    auto font = std::make_unique<Font>();
    font->name = std::string(name);
    font->pixels = pixels;
    font->face = font::Face::Open(font->name, pixels, false, false);
    ++this->opened;
    font->lastUse = this->uses;
    if (!font->face) error = "no font face '" + font->name + "'";
    this->fonts.push_back(std::move(font));
    return this->fonts.back()->face ? this->fonts.back().get() : nullptr;
}

const GlyphCache::Glyph& GlyphCache::GlyphOf(Font& font, uint8_t code) {
    Glyph& glyph = font.glyphs[code];
    if (glyph.made) return glyph;
    // Ink may reach past the cell on every side: draw with a margin of an em.
    const int pad = font.pixels;
    const int w = font.face->GetAdvance(code) + 2 * pad, h = font.face->GetCellHeight() + 2 * pad;
    this->scratch.assign(size_t(w) * size_t(h), 0);
    this->worked += this->scratch.size();
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
    if (x0 < x1) {
        const size_t bytes = size_t(x1 - x0) * size_t(y1 - y0);
        if (!MakeRoom(bytes, &font)) {
            this->refused = true;
            if (this->scratch.size() > KeptScratch) this->scratch = std::vector<uint32_t>();
            return NoInk;
        }
        glyph.left = x0 - pad;
        glyph.top = y0 - pad;
        glyph.width = x1 - x0;
        glyph.height = y1 - y0;
        glyph.coverage.resize(bytes);
        for (int y = 0; y < glyph.height; ++y) {
            for (int x = 0; x < glyph.width; ++x) {
                glyph.coverage[size_t(y) * glyph.width + x] = uint8_t(this->scratch[size_t(y + y0) * w + x + x0] & 0xFF);
            }
        }
    }
    glyph.made = true;
    if (this->scratch.size() > KeptScratch) this->scratch = std::vector<uint32_t>();
    return glyph;
}

}  // namespace flash
