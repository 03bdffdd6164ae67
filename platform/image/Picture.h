#pragma once
// Picture files decoded from memory: PNG (libpng), JPEG (libjpeg-turbo) and uncompressed
// BMP (our own reader), chosen by the first bytes, never by the name. Everything else is
// refused. The size in the header is checked against the limits before any pixel is
// decoded, so a short file that promises a huge picture costs nothing, and the readers
// stop at the end of the bytes they were given (libjpeg's memory source ends a short
// file with an end marker; the PNG and BMP readers fail on a short read).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace image {

enum class Format { Unknown, Png, Jpeg, Bmp };

struct Limits {
    // Largest side and most pixels of a picture (4096 x 4096: 64 MB decoded).
    int maxSide = 8192;
    int64_t maxPixels = int64_t(16) << 20;
    // Asked with the header's size before any pixel is decoded: false (with the reason in
    // `error`) refuses the picture, so a caller prices the decoding before it runs.
    std::function<bool(int width, int height, std::string& error)> admit;
};

// Largest picture file read at all.
constexpr size_t MaxFileBytes = size_t(64) << 20;

struct Picture {
    int width = 0;
    int height = 0;
    // The file has an alpha channel (or a transparent colour).
    bool alpha = false;
    std::vector<uint32_t> pixels;  // straight alpha 0xAARRGGBB, rows top-down
};

// The format the bytes start like; Unknown for anything else.
Format Identify(const void* data, size_t size);

// Decodes a whole file's bytes; false with the reason in `error` (and `out` emptied).
bool Decode(const void* data, size_t size, Picture& out, std::string& error, const Limits& limits = Limits());

}  // namespace image
