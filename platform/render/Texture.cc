#include "platform/render/Texture.h"

#include "platform/render/Device.h"
#include "platform/render/GlCalls.h"

#include <SDL2/SDL.h>

#include <algorithm>

namespace render {

namespace {

struct GlFormat {
    GLint internal;
    GLenum format;
    GLenum type;
};

// The device's byte layouts as OpenGL reads them. Formats without alpha get an
// internal format without alpha, so they sample opaque whatever the X bits hold.
GlFormat GlFormatOf(Format format)
{
    switch (format) {
    case Format::A8R8G8B8: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE};
    case Format::X8R8G8B8: return {GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE};
    case Format::R8G8B8: return {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE};
    case Format::R5G6B5: return {GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5};
    case Format::A4R4G4B4: return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV};
    case Format::X4R4G4B4: return {GL_RGB4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV};
    case Format::A1R5G5B5: return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
    case Format::X1R5G5B5: return {GL_RGB5, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
    default: return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE};
    }
}

}  // namespace

int Texture::BytesPerPixel(Format format)
{
    return IsTextureFormat(format) ? FormatBits(format) / 8 : 0;
}

bool Texture::IsTextureFormat(Format format)
{
    switch (format) {
    case Format::A8R8G8B8:
    case Format::X8R8G8B8:
    case Format::R8G8B8:
    case Format::R5G6B5:
    case Format::A4R4G4B4:
    case Format::X4R4G4B4:
    case Format::A1R5G5B5:
    case Format::X1R5G5B5: return true;
    default: return false;
    }
}

Texture::Texture(Device* owner, int width, int height, int levelCount, Format textureFormat)
    : device(owner), format(textureFormat)
{
    const size_t bpp = static_cast<size_t>(BytesPerPixel(textureFormat));
    this->levels.resize(static_cast<size_t>(levelCount));
    for (int i = 0; i < levelCount; ++i) {
        Level& level = this->levels[static_cast<size_t>(i)];
        level.width = std::max(1, width >> i);
        level.height = std::max(1, height >> i);
        level.bits.assign(static_cast<size_t>(level.width) * level.height * bpp, 0);
    }
    this->pendingLevels = levelCount;
    glGenTextures(1, &this->glName);
    this->device->BindForUpload(this);
    // Without the top level set, a texture with fewer levels than the full chain
    // would be incomplete under a mip filter and sample black.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levelCount - 1);
    this->sampler.baseLevel = 0;
}

Texture::~Texture()
{
    if (this->device != nullptr) {
        this->device->ForgetTexture(this);
    }
}

bool Texture::GetLevelDesc(int level, LevelDesc& desc) const
{
    if (level < 0 || level >= this->GetLevelCount()) {
        return false;
    }
    const Level& l = this->levels[static_cast<size_t>(level)];
    desc.format = this->format;
    desc.width = l.width;
    desc.height = l.height;
    desc.pitch = l.width * BytesPerPixel(this->format);
    desc.size = l.bits.size();
    return true;
}

bool Texture::IsLocked(int level) const
{
    return level >= 0 && level < this->GetLevelCount() &&
           this->levels[static_cast<size_t>(level)].locked;
}

bool Texture::LockRect(int level, const Rect* rect, LockedRect& locked)
{
    if (level < 0 || level >= this->GetLevelCount()) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Texture::LockRect: no level %d (%d levels)", level,
                     this->GetLevelCount());
        return false;
    }
    Level& l = this->levels[static_cast<size_t>(level)];
    if (l.locked) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Texture::LockRect: level %d is locked already", level);
        return false;
    }
    const Rect r = rect != nullptr ? *rect : Rect{0, 0, l.width, l.height};
    if (r.left < 0 || r.top < 0 || r.right > l.width || r.bottom > l.height || r.left >= r.right ||
        r.top >= r.bottom) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Texture::LockRect: rectangle %d,%d-%d,%d does not lie inside the %dx%d level %d",
                     r.left, r.top, r.right, r.bottom, l.width, l.height, level);
        return false;
    }
    const int bpp = BytesPerPixel(this->format);
    const int pitch = l.width * bpp;
    l.locked = true;
    l.lockRect = r;
    locked.bits = l.bits.data() + static_cast<size_t>(r.top) * pitch + static_cast<size_t>(r.left) * bpp;
    locked.pitch = pitch;
    locked.format = this->format;
    locked.rect = r;
    return true;
}

bool Texture::UnlockRect(int level)
{
    if (!this->IsLocked(level)) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Texture::UnlockRect: level %d is not locked", level);
        return false;
    }
    Level& l = this->levels[static_cast<size_t>(level)];
    l.locked = false;
    if (this->device != nullptr) {
        this->device->BindForUpload(this);
        this->Upload(level, l.lockRect);
    }
    return true;
}

void Texture::Upload(int level, const Rect& rect)
{
    Level& l = this->levels[static_cast<size_t>(level)];
    const GlFormat gl = GlFormatOf(this->format);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (!l.uploaded) {
        // A level's first upload defines all of it.
        glTexImage2D(GL_TEXTURE_2D, level, gl.internal, l.width, l.height, 0, gl.format, gl.type,
                     l.bits.data());
        l.uploaded = true;
        --this->pendingLevels;
        return;
    }
    const int bpp = BytesPerPixel(this->format);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, l.width);
    const uint8_t* first = l.bits.data() + static_cast<size_t>(rect.top) * l.width * bpp +
                           static_cast<size_t>(rect.left) * bpp;
    glTexSubImage2D(GL_TEXTURE_2D, level, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, gl.format, gl.type, first);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void Texture::UploadPending()
{
    for (int i = 0; this->pendingLevels > 0 && i < this->GetLevelCount(); ++i) {
        const Level& l = this->levels[static_cast<size_t>(i)];
        if (!l.uploaded) {
            this->Upload(i, Rect{0, 0, l.width, l.height});
        }
    }
}

int Texture::SetLOD(int value)
{
    const int before = this->lod;
    this->lod = std::clamp(value, 0, this->GetLevelCount() - 1);
    return before;
}

}  // namespace render
