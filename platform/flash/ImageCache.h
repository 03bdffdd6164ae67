#pragma once
// A movie's images: read once through the movie's file reader, decoded (PNG, JPEG or BMP
// by content, whatever the extension: platform/image) into straight-alpha B, G, R, A
// words, and kept with up to a few scaled copies each, so that drawing a frame decodes
// and scales nothing after the first. Images are keyed by the file they resolve to
// ("a.png", "./a.png" and "x//a.png" are one), and the pixels held stay under a byte cap:
// the least recently drawn images and copies leave first; each more byte is asked of the
// keeper (data's memory bound) as well, and what finds no room even so is refused. A decode
// is priced and its pixels are asked of the keeper from the file's header, and a scale from
// the size asked for, before either runs: work refused so is not remembered, as time or room
// may come later, but its size is: price and room are asked again from it before the file is
// read again. A file that does not load is remembered and not read again.
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/flash/KeptBytes.h"

namespace flash {

class ImageCache {
public:
    struct Image {
        int width = 0;
        int height = 0;
        std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows top-down

        size_t Bytes() const { return pixels.size() * sizeof(uint32_t); }
    };

    // Largest side of a decoded or scaled image, and most pixels of either (64 MB).
    static constexpr int MaxSide = 8192;
    static constexpr int64_t MaxScaledPixels = int64_t(16) << 20;
    // Files a movie's cache remembers, scaled copies kept of each, and the bytes of
    // pixels it holds in all.
    static constexpr size_t MaxImages = 64;
    static constexpr size_t MaxSizes = 4;
    static constexpr size_t MaxBytes = size_t(160) << 20;

    using Reader = std::function<bool(const std::string& name, std::string& bytes, std::string& error)>;
    explicit ImageCache(Reader reader) : read(std::move(reader)) {}
    ImageCache(ImageCache&& other) noexcept { *this = std::move(other); }
    // Gives back what this held; takes what the other holds, keeper and all.
    ImageCache& operator=(ImageCache&& other) noexcept;
    using Keeper = KeptBytes::Keeper;
    void SetKeeper(Keeper keeper) { this->kept.SetKeeper(std::move(keeper)); }
    // Asked before a decode or scale of `pixels` runs: false (with the reason in `error`, or
    // none when the caller tells of it itself) refuses it.
    enum class Work { Decode, Scale };
    using Price = std::function<bool(Work work, uint64_t pixels, std::string& error)>;
    void SetPrice(Price price) { this->price = std::move(price); }

    // The image `name` at `width` × `height` pixels (its own size when either is 0);
    // null when it cannot be had, with the reason in `error`. The image stays valid until
    // the next call.
    const Image* Get(std::string_view name, int width, int height, std::string& error);

    // The file a movie's image name stands for: its steps without empty and "." ones,
    // lower case (the file layer resolves names without regard to case). Written into
    // `key`, whose room is reused: a frame's draws allocate nothing.
    static void Key(std::string_view name, std::string& key);
    // Decoding of a whole file's bytes, at most `maxSide` on a side; false with the reason.
    static bool Decode(const std::string& bytes, Image& out, std::string& error, int maxSide = MaxSide,
                       std::function<bool(int width, int height, std::string& error)> admit = {});
    // Bilinear scaling over alpha-weighted colours, so transparent pixels do not bleed.
    static void Scale(const Image& source, int width, int height, Image& out);

    // Bytes of pixels held now.
    size_t BytesHeld() const { return kept.Held(); }
    // Pixels decoded and scaled so far, for charging the work to the movie.
    uint64_t PixelsWorked() const { return worked; }

private:
    struct Sized {
        Image image;
        uint64_t lastUse = 0;
    };
    struct Entry {
        bool loaded = false;
        Image image;
        uint64_t lastUse = 0;
        std::list<Sized> sizes;  // a list: copies leave without moving the others
    };
    // Drops least recently used images and copies until `extra` more bytes fit, under the
    // cap and with the keeper; never `keep` (the entry being drawn) itself. True once they
    // are held.
    bool MakeRoom(size_t extra, const Entry* keep);

    Reader read;
    std::map<std::string, Entry, std::less<>> entries;
    std::map<std::string, uint64_t, std::less<>> refused;  // pixels of decodes refused for price or room
    std::string key;  // the last name's key
    uint64_t uses = 0;
    uint64_t worked = 0;
    Price price;
    KeptBytes kept;
};

}  // namespace flash
