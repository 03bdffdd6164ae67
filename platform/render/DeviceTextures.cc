// The device's textures: creation, the stages that hold them, and bringing
// them to OpenGL's texture units before a draw.
#include "platform/render/Device.h"
#include "platform/render/GlHeaders.h"
#include "platform/render/Texture.h"

#include <SDL2/SDL.h>

#include <algorithm>

namespace render {

namespace {

int FullChainLength(int width, int height)
{
    int levels = 1;
    for (int size = std::max(width, height); size > 1; size >>= 1) {
        ++levels;
    }
    return levels;
}

GLint MinFilter(uint32_t minFilter, uint32_t mipFilter)
{
    const bool linear = minFilter >= TextureFilter::Linear;
    switch (mipFilter) {
    case TextureFilter::Point: return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    case TextureFilter::None: return linear ? GL_LINEAR : GL_NEAREST;
    default: return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    }
}

GLint Wrap(uint32_t address)
{
    switch (address) {
    case TextureAddress::Wrap: return GL_REPEAT;
    case TextureAddress::Mirror: return GL_MIRRORED_REPEAT;
    default: return GL_CLAMP_TO_EDGE;
    }
}

}  // namespace

std::unique_ptr<Texture> Device::CreateTexture(int width, int height, int levels, Format format)
{
    if (width < 1 || height < 1 || width > this->caps.maxTextureWidth ||
        height > this->caps.maxTextureHeight || levels < 0 || !Texture::IsTextureFormat(format)) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::CreateTexture: cannot make %dx%d with %d levels in format %d (at most "
                     "%dx%d)",
                     width, height, levels, static_cast<int>(format), this->caps.maxTextureWidth,
                     this->caps.maxTextureHeight);
        return nullptr;
    }
    const int chain = FullChainLength(width, height);
    const int count = levels == 0 ? chain : std::min(levels, chain);
    this->MakeCurrent();
    std::unique_ptr<Texture> texture(new Texture(this, width, height, count, format));
    this->liveTextures.push_back(texture.get());
    return texture;
}

bool Device::SetTexture(int stage, Texture* texture)
{
    if (stage < 0 || stage >= kMaxTextureStages || (texture != nullptr && texture->device != this)) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::SetTexture: stage %d or the texture is not this device's",
                     stage);
        return false;
    }
    this->stageTextures[stage] = texture;
    return true;
}

Texture* Device::GetTexture(int stage) const
{
    return (stage >= 0 && stage < kMaxTextureStages) ? this->stageTextures[stage] : nullptr;
}

void Device::BindForUpload(Texture* texture)
{
    this->MakeCurrent();
    if (this->activeUnit < 0) {
        glActiveTexture(GL_TEXTURE0);
        this->activeUnit = 0;
    }
    const size_t unit = static_cast<size_t>(this->activeUnit);
    if (this->unitBound[unit] != texture->glName) {
        glBindTexture(GL_TEXTURE_2D, texture->glName);
        this->unitBound[unit] = texture->glName;
    }
}

void Device::ForgetTexture(Texture* texture)
{
    this->liveTextures.erase(std::remove(this->liveTextures.begin(), this->liveTextures.end(), texture),
                             this->liveTextures.end());
    for (Texture*& held : this->stageTextures) {
        if (held == texture) {
            held = nullptr;
        }
    }
    this->MakeCurrent();
    for (unsigned& bound : this->unitBound) {
        if (bound == texture->glName) {
            // OpenGL unbinds a deleted texture from every unit.
            bound = 0;
        }
    }
    glDeleteTextures(1, &texture->glName);
    texture->glName = 0;
    texture->device = nullptr;
}

void Device::DetachTextures()
{
    if (!this->liveTextures.empty()) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device: %zu textures are still alive at the device's end",
                     this->liveTextures.size());
    }
    while (!this->liveTextures.empty()) {
        this->ForgetTexture(this->liveTextures.back());
    }
}

void Device::ApplyTextures()
{
    // A stage whose colour operation is off ends the chain of stages.
    bool chain = true;
    const int stages = std::min(this->caps.maxSimultaneousTextures, kMaxTextureStages);
    for (int stage = 0; stage < stages; ++stage) {
        const auto& ss = this->stageStates[stage];
        auto get = [&ss](StageState s) { return ss[static_cast<int>(s)]; };
        chain = chain && get(StageState::ColorOp) != TextureOp::Disable;
        Texture* texture = chain ? this->stageTextures[stage] : nullptr;
        if (texture == nullptr && this->unitEnabled[stage] == 0) {
            continue;
        }
        if (this->activeUnit != stage) {
            glActiveTexture(GL_TEXTURE0 + stage);
            this->activeUnit = stage;
        }
        if (texture == nullptr) {
            glDisable(GL_TEXTURE_2D);
            this->unitEnabled[stage] = 0;
            continue;
        }
        if (this->unitEnabled[stage] != 1) {
            glEnable(GL_TEXTURE_2D);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            this->unitEnabled[stage] = 1;
        }
        if (this->unitBound[stage] != texture->glName) {
            glBindTexture(GL_TEXTURE_2D, texture->glName);
            this->unitBound[stage] = texture->glName;
        }
        texture->UploadPending();

        Texture::Sampler& applied = texture->sampler;
        const int levels = texture->GetLevelCount();
        const int minFilter = levels > 1 ? MinFilter(get(StageState::MinFilter), get(StageState::MipFilter))
                                         : MinFilter(get(StageState::MinFilter), TextureFilter::None);
        const int magFilter = get(StageState::MagFilter) >= TextureFilter::Linear ? GL_LINEAR : GL_NEAREST;
        const int wrapS = Wrap(get(StageState::AddressU));
        const int wrapT = Wrap(get(StageState::AddressV));
        const int base = std::clamp(std::max(texture->lod, static_cast<int>(get(StageState::MaxMipLevel))), 0,
                                    levels - 1);
        if (applied.minFilter != minFilter) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
            applied.minFilter = minFilter;
        }
        if (applied.magFilter != magFilter) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
            applied.magFilter = magFilter;
        }
        if (applied.wrapS != wrapS) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapS);
            applied.wrapS = wrapS;
        }
        if (applied.wrapT != wrapT) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapT);
            applied.wrapT = wrapT;
        }
        if (applied.baseLevel != base) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, base);
            applied.baseLevel = base;
        }
        const uint32_t bias = get(StageState::MipMapLodBias);
        if (this->unitLodBias[stage] != bias) {
            glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, BitsFloat(bias));
            this->unitLodBias[stage] = bias;
        }
    }
}

}  // namespace render
