#include "platform/font/Face.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <SDL2/SDL_log.h>

#include <algorithm>
#include <cmath>

namespace font {

namespace {

FT_Library Lib(void* p) { return static_cast<FT_Library>(p); }
FT_Face Fc(void* p) { return static_cast<FT_Face>(p); }

// Windows-1252 codes 128 to 159; the others match Latin-1.
constexpr uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string FindFile(const std::string& name, bool bold, bool italic, int& index)
{
    std::string found;
    index = 0;
    if (!FcInit()) {
        return found;
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match != nullptr) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path != nullptr) {
            found = reinterpret_cast<const char*>(path);
        }
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return found;
}

}  // namespace

std::string Face::FindFile(const std::string& name, bool bold, bool italic)
{
    int index = 0;
    return font::FindFile(name, bold, italic, index);
}

uint32_t Face::ToUnicode(uint8_t code)
{
    if (code >= 128 && code < 160) {
        return kHigh[code - 128];
    }
    return code;
}

int Face::PixelHeight(int points)
{
    return (points * 96 + 36) / 72;
}

std::unique_ptr<Face> Face::Open(const std::string& name, int pixelHeight, bool bold, bool italic)
{
    if (pixelHeight < 1 || pixelHeight > 1024) {
        SDL_LogError(SDL_LOG_CATEGORY_APPLICATION, "font: pixel height %d is out of range", pixelHeight);
        return nullptr;
    }
    int index = 0;
    const std::string file = font::FindFile(name, bold, italic, index);
    if (file.empty()) {
        SDL_LogError(SDL_LOG_CATEGORY_APPLICATION, "font: no face for '%s'", name.c_str());
        return nullptr;
    }
    std::unique_ptr<Face> face(new Face());
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        SDL_LogError(SDL_LOG_CATEGORY_APPLICATION, "font: FreeType does not start");
        return nullptr;
    }
    face->library = library;
    FT_Face ft = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &ft) != 0 || FT_Set_Pixel_Sizes(ft, 0, FT_UInt(pixelHeight)) != 0) {
        SDL_LogError(SDL_LOG_CATEGORY_APPLICATION, "font: cannot open '%s' for '%s'", file.c_str(), name.c_str());
        return nullptr;
    }
    face->face = ft;
    face->file = file;
    face->ascent = static_cast<int>((ft->size->metrics.ascender + 63) >> 6);
    face->descent = static_cast<int>((-ft->size->metrics.descender + 63) >> 6);
    for (int code = 0; code < 256; ++code) {
        const uint32_t unicode = ToUnicode(static_cast<uint8_t>(code));
        if (code < 32 || unicode == 0 || FT_Load_Char(ft, unicode, FT_LOAD_DEFAULT) != 0) {
            continue;
        }
        face->advances[code] = static_cast<int>((ft->glyph->advance.x + 32) >> 6);
    }
    return face;
}

Face::~Face()
{
    if (this->face != nullptr) {
        FT_Done_Face(Fc(this->face));
    }
    if (this->library != nullptr) {
        FT_Done_FreeType(Lib(this->library));
    }
}

void Face::Draw(uint8_t code, uint32_t* pixels, int width, int height, int x, int y) const
{
    const uint32_t unicode = ToUnicode(code);
    FT_Face ft = Fc(this->face);
    if (unicode == 0 || FT_Load_Char(ft, unicode, FT_LOAD_RENDER) != 0) {
        return;
    }
    const FT_Bitmap& bitmap = ft->glyph->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
        return;
    }
    const int left = x + ft->glyph->bitmap_left;
    const int top = y + this->ascent - ft->glyph->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const int py = top + static_cast<int>(row);
        if (py < 0 || py >= height) {
            continue;
        }
        const uint8_t* src = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        for (unsigned col = 0; col < bitmap.width; ++col) {
            const int px = left + static_cast<int>(col);
            if (px < 0 || px >= width) {
                continue;
            }
            const uint32_t c = src[col];
            uint32_t& out = pixels[static_cast<size_t>(py) * static_cast<size_t>(width) + static_cast<size_t>(px)];
            if (c > (out & 0xFF)) {
                out = c | c << 8 | c << 16;
            }
        }
    }
}

}  // namespace font
