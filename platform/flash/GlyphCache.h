#pragma once
// A movie's text faces: font faces opened by name and pixel height through the font
// layer, each with its glyphs' coverage rasterised once and trimmed to their ink, so
// that drawing text costs blending only. Faces that do not open are remembered. What the
// faces and glyphs hold stays under a byte cap, and each more byte is asked of the keeper
// (data's memory bound) first: faces used longest ago make room, and a face or glyph that
// still has none is refused. The pixels rasterised are counted, so that the movie pays
// for them. A face is opened only after its price was asked (fontconfig's match takes a
// while), and only by a short name: fontconfig compares names skipping blanks, so a long
// one costs every comparison, and a face keeps its name.
#include <array>
#include <functional>
#include <utility>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/flash/KeptBytes.h"
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
    // Bytes of faces and glyphs held at once, and what an open face is taken to hold.
    static constexpr size_t MaxBytes = size_t(16) << 20;
    // Longest face name; no control characters either.
    static constexpr size_t MaxName = 64;
    static constexpr size_t FaceBytes = sizeof(Font) + MaxName + 1 + (size_t(64) << 10);

    using Keeper = KeptBytes::Keeper;
    GlyphCache() = default;
    GlyphCache(GlyphCache&& other) noexcept { *this = std::move(other); }
    // Gives back what this held; takes what the other holds, keeper and all.
    GlyphCache& operator=(GlyphCache&& other) noexcept;
    ~GlyphCache() { Drop(); }
    void SetKeeper(Keeper keeper) { this->kept.SetKeeper(std::move(keeper)); }
    // Asked before a face opens: false (with the reason in `error`, or none when the caller
    // tells of it itself) leaves it unopened and not remembered.
    using Price = std::function<bool(std::string& error)>;
    void SetPrice(Price price) { this->price = std::move(price); }

    // The face `name` at `pixels` height; null when it does not open or has no room (the
    // reason in `error` the first time).
    Font* Get(std::string_view name, int pixels, std::string& error);
    // The glyph of a Windows-1252 code, rasterised on first use; one without ink when it
    // finds no room (Refused() then tells).
    const Glyph& GlyphOf(Font& font, uint8_t code);

    size_t BytesHeld() const { return this->kept.Held(); }
    // Faces opened so far (each costs the movie).
    size_t FacesOpened() const { return this->opened; }
    uint64_t PixelsWorked() const { return this->worked; }
    // True once a glyph found no room since the last look; the look clears it.
    bool TakeRefused() { return std::exchange(this->refused, false); }

private:
    // Room for `bytes` more, faces used longest ago leaving first but never `keep`.
    bool MakeRoom(size_t bytes, const Font* keep);
    static size_t Bytes(const Font& font);
    void Drop();

    std::vector<std::unique_ptr<Font>> fonts;
    std::vector<uint32_t> scratch;
    uint64_t uses = 0;
    Price price;
    KeptBytes kept;
    uint64_t worked = 0;
    bool refused = false;
    size_t opened = 0;
};

}  // namespace flash
