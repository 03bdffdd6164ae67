#include "platform/image/Picture.h"

#include <png.h>
// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstring>

namespace image {

namespace {

// Scans a progressive JPEG may have: each runs over the whole coefficient buffer, so a
// small file of thousands of empty scans would take minutes.
constexpr int MaxJpegScans = 256;
// Memory libjpeg may take beyond the picture (coefficient buffers of progressive files).
constexpr long MaxJpegMemory = 320L << 20;
// Largest PNG ancillary chunk kept and most chunks cached (text, palettes of others).
constexpr png_alloc_size_t MaxPngChunk = 1 << 20;
constexpr png_uint_32 MaxPngCachedChunks = 256;

bool SizeFits(int64_t w, int64_t h, const Limits& limits, std::string& error) {
    if (w >= 1 && h >= 1 && w <= limits.maxSide && h <= limits.maxSide && w * h <= limits.maxPixels) {
        return !limits.admit || limits.admit(int(w), int(h), error);
    }
    error = "picture of " + std::to_string(w) + " x " + std::to_string(h) + " is larger than " +
            std::to_string(limits.maxSide) + " on a side or " + std::to_string(limits.maxPixels) + " pixels";
    return false;
}

// ---- PNG

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t at;
    char message[160];
};

void PngRead(png_structp png, png_bytep out, size_t count) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > src->size - src->at) png_error(png, "the file ends early");
    std::memcpy(out, src->data + src->at, count);
    src->at += count;
}

void PngError(png_structp png, png_const_charp message) {
    auto* src = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(src->message, sizeof(src->message), "%s", message ? message : "broken PNG");
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Everything that the long jump may skip lives in `src` and `out`, both outside.
bool DecodePngInto(PngSource& src, Picture& out, const Limits& limits, std::string& error) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &src, PngError, PngWarning);
    if (!png) {
        error = "no memory for the PNG reader";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        error = "no memory for the PNG reader";
        return false;
    }
    // Row pointers are made before the jump point: nothing is allocated after it.
    static thread_local std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        rows.clear();
        error = std::string("broken PNG: ") + src.message;
        return false;
    }
    png_set_read_fn(png, &src, PngRead);
    png_set_user_limits(png, png_uint_32(limits.maxSide), png_uint_32(limits.maxSide));
    png_set_chunk_cache_max(png, MaxPngCachedChunks);
    png_set_chunk_malloc_max(png, MaxPngChunk);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (!SizeFits(w, h, limits, error)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    const int colour = png_get_color_type(png, info);
    out.alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    // Every kind becomes 8-bit B, G, R, A bytes: the words 0xAARRGGBB in memory.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * 4) png_error(png, "unexpected row size after conversion");
    out.width = int(w);
    out.height = int(h);
    out.pixels.assign(size_t(w) * size_t(h), 0);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = reinterpret_cast<png_bytep>(&out.pixels[size_t(y) * w]);
    png_read_image(png, rows.data());
    // The end chunk is not read: a file cut after its pixels still shows them.
    png_destroy_read_struct(&png, &info, nullptr);
    rows.clear();
    return true;
}

// ---- JPEG

struct JpegErrors {
    jpeg_error_mgr base;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegExit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    errors->base.format_message(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void JpegSilent(j_common_ptr) {}

void JpegProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > MaxJpegScans) {
        auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
        std::snprintf(errors->message, sizeof(errors->message), "more than %d scans", MaxJpegScans);
        std::longjmp(errors->jump, 1);
    }
}

bool DecodeJpegInto(const uint8_t* data, size_t size, Picture& out, const Limits& limits, std::string& error,
                    jpeg_decompress_struct& cinfo, JpegErrors& errors, jpeg_progress_mgr& progress) {
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JpegExit;
    errors.base.output_message = JpegSilent;
    errors.message[0] = '\0';
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        error = std::string("broken JPEG: ") + errors.message;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = MaxJpegMemory;
    progress.progress_monitor = JpegProgress;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (!SizeFits(cinfo.image_width, cinfo.image_height, limits, error)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != cinfo.image_width || cinfo.output_height != cinfo.image_height ||
        cinfo.output_components != 4) {
        std::snprintf(errors.message, sizeof(errors.message), "unexpected output layout");
        std::longjmp(errors.jump, 1);
    }
    const size_t w = cinfo.output_width, h = cinfo.output_height;
    out.width = int(w);
    out.height = int(h);
    out.alpha = false;
    out.pixels.assign(w * h, 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(&out.pixels[size_t(cinfo.output_scanline) * w]);
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
    }
    // A short file was ended by the memory source's end marker: its rest stays grey.
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// ---- BMP

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// A channel of `value` under `mask`, scaled to 8 bits; 0 without a mask.
struct Channel {
    int shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t mask) {
        if (!mask) return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        max = mask;
    }
    uint32_t Get(uint32_t value) const { return max ? uint32_t((uint64_t((value >> shift) & max) * 255 + max / 2) / max) : 0; }
};

bool DecodeBmp(const uint8_t* b, size_t size, Picture& out, const Limits& limits, std::string& error) {
    const char* const lying = "a BMP whose header does not fit the file";
    if (size < 54) {
        error = lying;
        return false;
    }
    const uint64_t offset = Le32(b + 10), info = Le32(b + 14), compression = Le32(b + 30);
    const int64_t w = int32_t(Le32(b + 18)), signedH = int32_t(Le32(b + 22));
    const unsigned bits = Le16(b + 28);
    const int64_t h = signedH < 0 ? -signedH : signedH;
    const uint64_t colours = Le32(b + 46);
    if (info < 40 || info > 124 || !(compression == 0 || compression == 3) ||
        !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32) ||
        (compression == 3 && bits != 16 && bits != 32) || (bits <= 8 && colours > (1u << bits))) {
        error = lying;
        return false;
    }
    if (!SizeFits(w, h, limits, error)) return false;
    const uint64_t rowBytes = (uint64_t(w) * bits + 31) / 32 * 4;
    const uint64_t paletteCount = bits <= 8 ? (colours ? colours : (1u << bits)) : 0;
    // Bit fields follow a 40-byte header; larger headers hold them inside.
    const uint64_t maskBytes = compression == 3 && info == 40 ? 12 : 0;
    if (offset < 14 + info + maskBytes + 4 * paletteCount || offset > size || rowBytes * uint64_t(h) > size - offset) {
        error = lying;
        return false;
    }
    uint32_t masks[4] = {0, 0, 0, 0};
    if (compression == 3) {
        for (int i = 0; i < 3; ++i) masks[i] = Le32(b + 54 + 4 * i);
        if (info >= 56) masks[3] = Le32(b + 66);
    } else if (bits == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (bits == 32) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF, masks[3] = 0xFF000000;
    }
    const Channel r(masks[0]), g(masks[1]), bl(masks[2]), a(masks[3]);
    const uint8_t* palette = b + 14 + info;
    out.width = int(w);
    out.height = int(h);
    out.pixels.assign(size_t(w) * size_t(h), 0);
    bool anyAlpha = false;
    for (int64_t row = 0; row < h; ++row) {
        const uint8_t* in = b + offset + uint64_t(row) * rowBytes;
        // Positive heights store the bottom row first.
        uint32_t* dst = &out.pixels[size_t(signedH < 0 ? row : h - 1 - row) * size_t(w)];
        for (int64_t x = 0; x < w; ++x) {
            uint32_t word;
            if (bits <= 8) {
                const uint64_t bit = uint64_t(x) * bits;
                const unsigned index = (in[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                // An index past the palette shows black.
                const uint8_t* e = index < paletteCount ? palette + 4 * index : nullptr;
                word = 0xFF000000u | (e ? uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0] : 0);
            } else if (bits == 24) {
                const uint8_t* p = in + 3 * x;
                word = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            } else {
                const uint32_t v = bits == 16 ? Le16(in + 2 * x) : Le32(in + 4 * x);
                const uint32_t alpha = masks[3] ? a.Get(v) : 0xFF;
                anyAlpha = anyAlpha || alpha != 0;
                word = alpha << 24 | r.Get(v) << 16 | g.Get(v) << 8 | bl.Get(v);
            }
            dst[x] = word;
        }
    }
    out.alpha = masks[3] != 0 && anyAlpha;
    // Many writers leave the fourth byte of 32-bit pixels zero: such a picture is opaque.
    if (masks[3] != 0 && !anyAlpha) {
        for (uint32_t& p : out.pixels) p |= 0xFF000000u;
    }
    return true;
}

}  // namespace

Format Identify(const void* data, size_t size) {
    const auto* b = static_cast<const uint8_t*>(data);
    if (size >= 8 && std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) == 0) return Format::Png;
    if (size >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return Format::Jpeg;
    if (size >= 2 && b[0] == 'B' && b[1] == 'M') return Format::Bmp;
    return Format::Unknown;
}

bool Decode(const void* data, size_t size, Picture& out, std::string& error, const Limits& limits) {
    out = Picture();
    bool ok = false;
    if (size > MaxFileBytes) {
        error = "file of " + std::to_string(size) + " bytes is larger than " + std::to_string(MaxFileBytes);
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    switch (Identify(data, size)) {
    case Format::Png: {
        PngSource src{bytes, size, 0, {}};
        ok = DecodePngInto(src, out, limits, error);
        break;
    }
    case Format::Jpeg: {
        jpeg_decompress_struct cinfo{};
        JpegErrors errors{};
        jpeg_progress_mgr progress{};
        ok = DecodeJpegInto(bytes, size, out, limits, error, cinfo, errors, progress);
        break;
    }
    case Format::Bmp: ok = DecodeBmp(bytes, size, out, limits, error); break;
    case Format::Unknown: error = "not a PNG, JPEG or BMP picture"; break;
    }
    if (!ok) out = Picture();
    return ok;
}

}  // namespace image
