#include "platform/render/TextureLoading.h"

#include "platform/render/Texture.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace render {

namespace {

uint16_t Read16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void Write16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// One pixel to 0xAARRGGBB; formats without alpha are opaque.
uint32_t Decode(const uint8_t* p, Format format)
{
    switch (format) {
    case Format::A8R8G8B8:
    case Format::X8R8G8B8: {
        uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
        return format == Format::X8R8G8B8 ? (v | 0xFF000000u) : v;
    }
    case Format::R8G8B8: return 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    case Format::R5G6B5: {
        const uint32_t v = Read16(p);
        return 0xFF000000u | ((v >> 11) & 0x1F) << 19 | ((v >> 5) & 0x3F) << 10 | (v & 0x1F) << 3;
    }
    case Format::A4R4G4B4:
    case Format::X4R4G4B4: {
        const uint32_t v = Read16(p);
        const uint32_t a = format == Format::X4R4G4B4 ? 0xFFu : ((v >> 12) & 0xF) << 4;
        return a << 24 | ((v >> 8) & 0xF) << 20 | ((v >> 4) & 0xF) << 12 | (v & 0xF) << 4;
    }
    case Format::A1R5G5B5:
    case Format::X1R5G5B5: {
        const uint32_t v = Read16(p);
        const uint32_t a = (format == Format::X1R5G5B5 || (v & 0x8000) != 0) ? 0xFFu : 0u;
        return a << 24 | ((v >> 10) & 0x1F) << 19 | ((v >> 5) & 0x1F) << 11 | (v & 0x1F) << 3;
    }
    default: return 0;
    }
}

void Encode(uint32_t argb, Format format, uint8_t* p)
{
    const uint32_t a = argb >> 24;
    const uint32_t r = (argb >> 16) & 0xFF;
    const uint32_t g = (argb >> 8) & 0xFF;
    const uint32_t b = argb & 0xFF;
    switch (format) {
    case Format::A8R8G8B8:
    case Format::X8R8G8B8:
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
        p[3] = static_cast<uint8_t>(a);
        break;
    case Format::R8G8B8:
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
        break;
    case Format::R5G6B5: Write16(p, (r >> 3) << 11 | (g >> 2) << 5 | b >> 3); break;
    case Format::A4R4G4B4:
    case Format::X4R4G4B4: Write16(p, (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4); break;
    case Format::A1R5G5B5:
    case Format::X1R5G5B5: Write16(p, (a >> 7) << 15 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3); break;
    default: break;
    }
}

}  // namespace

bool LoadLevelFromMemory(Texture& texture, int level, const void* source, Format sourceFormat,
                         int sourcePitch, const Rect& sourceRect, LevelFilter filter)
{
    const int srcBpp = Texture::BytesPerPixel(sourceFormat);
    const int srcWidth = sourceRect.right - sourceRect.left;
    const int srcHeight = sourceRect.bottom - sourceRect.top;
    LevelDesc desc;
    if (source == nullptr || srcBpp == 0 || srcWidth < 1 || srcHeight < 1 || sourceRect.left < 0 ||
        sourceRect.top < 0 || sourcePitch < sourceRect.right * srcBpp ||
        !texture.GetLevelDesc(level, desc)) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "LoadLevelFromMemory: bad source (format %d, pitch %d, rectangle %d,%d-%d,%d) or "
                     "level %d",
                     static_cast<int>(sourceFormat), sourcePitch, sourceRect.left, sourceRect.top,
                     sourceRect.right, sourceRect.bottom, level);
        return false;
    }
    const int width = filter == LevelFilter::Point ? desc.width : std::min(desc.width, srcWidth);
    const int height = filter == LevelFilter::Point ? desc.height : std::min(desc.height, srcHeight);
    const Rect target{0, 0, width, height};
    LockedRect locked;
    if (!texture.LockRect(level, &target, locked)) {
        return false;
    }
    const auto* src = static_cast<const uint8_t*>(source) + static_cast<size_t>(sourceRect.top) * sourcePitch +
                      static_cast<size_t>(sourceRect.left) * srcBpp;
    auto* dst = static_cast<uint8_t*>(locked.bits);
    const int dstBpp = Texture::BytesPerPixel(desc.format);
    const bool scaled = filter == LevelFilter::Point && (width != srcWidth || height != srcHeight);
    if (!scaled && sourceFormat == desc.format) {
        for (int y = 0; y < height; ++y) {
            std::memcpy(dst + static_cast<size_t>(y) * locked.pitch, src + static_cast<size_t>(y) * sourcePitch,
                        static_cast<size_t>(width) * dstBpp);
        }
    } else {
        // Nearest source texel of each target texel's centre.
        std::vector<int> columns(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x) {
            columns[static_cast<size_t>(x)] =
                scaled ? static_cast<int>((static_cast<int64_t>(x) * 2 + 1) * srcWidth / (int64_t{width} * 2)) : x;
        }
        for (int y = 0; y < height; ++y) {
            const int sy =
                scaled ? static_cast<int>((static_cast<int64_t>(y) * 2 + 1) * srcHeight / (int64_t{height} * 2)) : y;
            const uint8_t* row = src + static_cast<size_t>(sy) * sourcePitch;
            uint8_t* out = dst + static_cast<size_t>(y) * locked.pitch;
            for (int x = 0; x < width; ++x) {
                Encode(Decode(row + static_cast<size_t>(columns[static_cast<size_t>(x)]) * srcBpp, sourceFormat),
                       desc.format, out + static_cast<size_t>(x) * dstBpp);
            }
        }
    }
    return texture.UnlockRect(level);
}

}  // namespace render
