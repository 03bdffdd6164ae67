#include "platform/flash/ImageCache.h"

#include <IL/il.h>
#include <IL/ilu.h>

#include <algorithm>
#include <cmath>

namespace flash {

namespace {

// DevIL's conversion looks up every index in the palette unchecked: a file whose pixels
// index past a short palette would make it read past the palette.
bool PaletteHoldsEveryIndex(int w, int h) {
    const ILint colours = ilGetInteger(IL_PALETTE_NUM_COLS);
    const ILubyte* index = ilGetData();
    if (ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL) != 1 || !index) return false;
    const size_t count = size_t(w) * size_t(h);
    for (size_t i = 0; i < count; ++i) {
        if (ILint(index[i]) >= colours) return false;
    }
    return true;
}

uint32_t Le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

}  // namespace

unsigned ImageCache::PictureType(const std::string& b, std::string& error, int maxSide) {
    if (b.size() >= 8 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) return IL_PNG;
    if (b.size() >= 3 && b.compare(0, 3, "\xFF\xD8\xFF") == 0) return IL_JPG;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        error = "not a PNG, JPEG or BMP picture";
        return 0;
    }
    const uint64_t offset = Le32(b, 10), info = Le32(b, 14), compression = Le32(b, 30), colours = Le32(b, 46);
    const int64_t w = int32_t(Le32(b, 18)), h = int32_t(Le32(b, 22));
    const unsigned bits = uint8_t(b[28]) | uint8_t(b[29]) << 8;
    const int64_t rows = h < 0 ? -h : h;
    const uint64_t rowBytes = (uint64_t(w > 0 ? w : 0) * bits + 31) / 32 * 4;
    const uint64_t palette = bits <= 8 ? 4 * (colours ? colours : (1u << bits)) : 0;
    const bool ok = info >= 40 && info <= 124 && (compression == 0 || compression == 3) && w >= 1 &&
                    w <= maxSide && rows >= 1 && rows <= maxSide &&
                    (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32) &&
                    offset >= 14 + info + palette && offset + rowBytes * uint64_t(rows) <= b.size();
    if (!ok) error = "a BMP whose header does not fit the file";
    return ok ? IL_BMP : 0;
}

bool ImageCache::Decode(const std::string& bytes, Image& out, std::string& error, unsigned type) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF) {
        error = "empty or oversized file";
        return false;
    }
    // The graphics server starts DevIL too; starting it again keeps its read functions
    // and settings, and makes this work before and after the server. ILU's error texts
    // are read below: without its start iluErrorString reads a table that is not there.
    if (!type) type = PictureType(bytes, error);
    if (!type) return false;
    ilInit();
    iluInit();
    const ILuint name = ilGenImage();
    ilBindImage(name);
    bool ok = ilLoadL(ILenum(type), bytes.data(), ILuint(bytes.size())) == IL_TRUE;
    if (!ok) {
        error = std::string("not an image DevIL reads: ") + iluErrorString(ilGetError());
    }
    const int w = ok ? ilGetInteger(IL_IMAGE_WIDTH) : 0;
    const int h = ok ? ilGetInteger(IL_IMAGE_HEIGHT) : 0;
    if (ok && (w < 1 || h < 1 || w > MaxSide || h > MaxSide || ilGetInteger(IL_IMAGE_DEPTH) != 1)) {
        error = "image size " + std::to_string(w) + " x " + std::to_string(h) + " is out of range";
        ok = false;
    }
    if (ok && ilGetInteger(IL_IMAGE_FORMAT) == IL_COLOUR_INDEX && !PaletteHoldsEveryIndex(w, h)) {
        error = "a pixel indexes past the image's palette";
        ok = false;
    }
    if (ok && ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_LOWER_LEFT) ok = iluFlipImage() == IL_TRUE;
    if (ok && !ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE)) {
        error = std::string("cannot convert the image: ") + iluErrorString(ilGetError());
        ok = false;
    }
    if (ok) {
        out.width = w;
        out.height = h;
        out.pixels.assign(size_t(w) * size_t(h), 0);
        ok = ilCopyPixels(0, 0, 0, ILuint(w), ILuint(h), 1, IL_BGRA, IL_UNSIGNED_BYTE, out.pixels.data()) != 0;
        if (!ok) error = "cannot copy the image's pixels";
    }
    ilDeleteImage(name);
    return ok;
}

void ImageCache::Scale(const Image& source, int width, int height, Image& out) {
    out.width = width;
    out.height = height;
    out.pixels.assign(size_t(width) * size_t(height), 0);
    if (source.width < 1 || source.height < 1) return;
    const double fx = double(source.width) / width, fy = double(source.height) / height;
    for (int y = 0; y < height; ++y) {
        const double sy = std::clamp((y + 0.5) * fy - 0.5, 0.0, double(source.height - 1));
        const int y0 = int(sy), y1 = std::min(y0 + 1, source.height - 1);
        const double wy = sy - y0;
        for (int x = 0; x < width; ++x) {
            const double sx = std::clamp((x + 0.5) * fx - 0.5, 0.0, double(source.width - 1));
            const int x0 = int(sx), x1 = std::min(x0 + 1, source.width - 1);
            const double wx = sx - x0;
            const uint32_t corners[4] = {source.pixels[size_t(y0) * source.width + x0],
                                         source.pixels[size_t(y0) * source.width + x1],
                                         source.pixels[size_t(y1) * source.width + x0],
                                         source.pixels[size_t(y1) * source.width + x1]};
            const double weights[4] = {(1 - wx) * (1 - wy), wx * (1 - wy), (1 - wx) * wy, wx * wy};
            double alpha = 0, sum[3] = {0, 0, 0};
            for (int i = 0; i < 4; ++i) {
                const double a = weights[i] * double(corners[i] >> 24);
                alpha += a;
                for (int c = 0; c < 3; ++c) sum[c] += a * double((corners[i] >> (8 * c)) & 0xFF);
            }
            uint32_t word = uint32_t(std::lround(alpha)) << 24;
            if (alpha > 0) {
                for (int c = 0; c < 3; ++c) {
                    word |= uint32_t(std::clamp(std::lround(sum[c] / alpha), 0L, 255L)) << (8 * c);
                }
            }
            out.pixels[size_t(y) * width + x] = word;
        }
    }
}

const ImageCache::Image* ImageCache::Get(std::string_view name, int width, int height, std::string& error) {
    auto found = this->entries.find(name);
    if (found == this->entries.end()) {
        if (this->entries.size() >= MaxImages) {
            error = "more than " + std::to_string(MaxImages) + " images";
            return nullptr;
        }
        Entry entry;
        std::string bytes;
        entry.loaded = this->read(std::string(name), bytes, error) && Decode(bytes, entry.image, error);
        found = this->entries.emplace(std::string(name), std::move(entry)).first;
        if (!found->second.loaded) return nullptr;
    }
    Entry& entry = found->second;
    if (!entry.loaded) return nullptr;
    if (width == 0 || height == 0 || (width == entry.image.width && height == entry.image.height)) {
        return &entry.image;
    }
    if (width < 0 || height < 0 || width > MaxSide || height > MaxSide ||
        int64_t(width) * height > MaxScaledPixels) {
        error = "a drawn size of " + std::to_string(width) + " x " + std::to_string(height) + " is out of range";
        return nullptr;
    }
    ++this->uses;
    for (Sized& sized : entry.sizes) {
        if (sized.image.width == width && sized.image.height == height) {
            sized.lastUse = this->uses;
            return &sized.image;
        }
    }
    Sized* slot = nullptr;
    if (entry.sizes.size() < MaxSizes) {
        slot = &entry.sizes.emplace_back();
    } else {
        slot = &*std::min_element(entry.sizes.begin(), entry.sizes.end(),
                                  [](const Sized& a, const Sized& b) { return a.lastUse < b.lastUse; });
    }
    Scale(entry.image, width, height, slot->image);
    slot->lastUse = this->uses;
    return &slot->image;
}

}  // namespace flash
