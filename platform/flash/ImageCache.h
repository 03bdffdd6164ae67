#pragma once
// A movie's images: read once through the movie's file reader, decoded by DevIL (by
// content, whatever the extension) into straight-alpha B, G, R, A words, and kept with
// up to a few scaled copies each, so that drawing a frame decodes and scales nothing
// after the first. A file that does not load is remembered and not read again.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace flash {

class ImageCache {
public:
    struct Image {
        int width = 0;
        int height = 0;
        std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows top-down
    };

    // Largest side of a decoded or scaled image, and most pixels of a scaled one.
    static constexpr int MaxSide = 8192;
    static constexpr int64_t MaxScaledPixels = 16 << 20;
    // Images a movie may hold, and scaled copies kept of each.
    static constexpr size_t MaxImages = 64;
    static constexpr size_t MaxSizes = 4;

    using Reader = std::function<bool(const std::string& name, std::string& bytes, std::string& error)>;
    explicit ImageCache(Reader reader) : read(std::move(reader)) {}

    // The image `name` at `width` × `height` pixels (its own size when either is 0);
    // null when it cannot be had, with the reason in `error`.
    const Image* Get(std::string_view name, int width, int height, std::string& error);

    // DevIL's file type for a picture's bytes: PNG and JPEG by their signatures, and BMP
    // files whose header describes pixels inside the file (DevIL reads a BMP's pixels from
    // wherever its header points, past the file's end as well) and at most `maxSide` on
    // a side; 0 (with the reason) for anything else, which DevIL's other readers do not
    // read safely.
    static unsigned PictureType(const std::string& bytes, std::string& error, int maxSide = MaxSide);
    // DevIL decoding of a whole file's bytes; false with the reason. `type` is DevIL's
    // file type to read the bytes as (0: PictureType tells).
    static bool Decode(const std::string& bytes, Image& out, std::string& error, unsigned type = 0);
    // Bilinear scaling over alpha-weighted colours, so transparent pixels do not bleed.
    static void Scale(const Image& source, int width, int height, Image& out);

private:
    struct Sized {
        Image image;
        uint64_t lastUse = 0;
    };
    struct Entry {
        bool loaded = false;
        Image image;
        std::vector<Sized> sizes;
    };

    Reader read;
    std::map<std::string, Entry, std::less<>> entries;
    uint64_t uses = 0;
};

}  // namespace flash
