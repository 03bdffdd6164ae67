// The device's textures: creation, the stages that hold them, and bringing
// them to OpenGL's texture units before a draw.
#include "platform/render/Device.h"
#include "platform/render/GlCalls.h"
#include "platform/render/StateBlock.h"
#include "platform/render/Texture.h"
#include "platform/render/VertexArrays.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <array>

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
    if (this->recording != nullptr) {
        this->recording->RecordTexture(stage, texture);
        return true;
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
    for (auto& [handle, block] : this->stateBlocks) {
        block->ForgetTexture(texture);
    }
    if (this->recording != nullptr) {
        this->recording->ForgetTexture(texture);
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

namespace {

void FactorColor(uint32_t argb, float out[4])
{
    out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
    out[3] = static_cast<float>((argb >> 24) & 0xFF) / 255.0f;
}

// One texture-environment source: the GL source and its operand.
struct CombineSource {
    GLint source;
    GLint operand;
};

CombineSource Source(uint32_t arg, bool alpha)
{
    CombineSource out{GL_TEXTURE, GL_SRC_COLOR};
    switch (arg & 0xF) {
    case TextureArg::Diffuse:
    case TextureArg::Specular: out.source = GL_PRIMARY_COLOR; break;
    case TextureArg::Current: out.source = GL_PREVIOUS; break;
    case TextureArg::Factor: out.source = GL_CONSTANT; break;
    default: out.source = GL_TEXTURE; break;
    }
    const bool complement = (arg & TextureArg::Complement) != 0;
    if (alpha || (arg & TextureArg::AlphaReplicate) != 0) {
        out.operand = complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    } else {
        out.operand = complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR;
    }
    return out;
}

// Sets one half (colour or alpha) of a unit's combiner for a stage operation.
// Add-smooth and the pre-multiplied blend have no exact combiner form: they
// are drawn as a saturating add and a texture-alpha blend.
void SetCombine(bool alpha, uint32_t op, uint32_t arg1, uint32_t arg2)
{
    const GLenum combine = alpha ? GL_COMBINE_ALPHA : GL_COMBINE_RGB;
    const GLenum scale = alpha ? GL_ALPHA_SCALE : GL_RGB_SCALE;
    const GLenum src[3] = {static_cast<GLenum>(alpha ? GL_SRC0_ALPHA : GL_SRC0_RGB),
                           static_cast<GLenum>(alpha ? GL_SRC1_ALPHA : GL_SRC1_RGB),
                           static_cast<GLenum>(alpha ? GL_SRC2_ALPHA : GL_SRC2_RGB)};
    const GLenum operand[3] = {static_cast<GLenum>(alpha ? GL_OPERAND0_ALPHA : GL_OPERAND0_RGB),
                               static_cast<GLenum>(alpha ? GL_OPERAND1_ALPHA : GL_OPERAND1_RGB),
                               static_cast<GLenum>(alpha ? GL_OPERAND2_ALPHA : GL_OPERAND2_RGB)};
    auto put = [&](int i, CombineSource c) {
        glTexEnvi(GL_TEXTURE_ENV, src[i], c.source);
        glTexEnvi(GL_TEXTURE_ENV, operand[i], c.operand);
    };
    GLint mode = GL_MODULATE;
    float factor = 1.0f;
    CombineSource blendBy{GL_TEXTURE, GL_SRC_ALPHA};
    switch (op) {
    case TextureOp::SelectArg1: mode = GL_REPLACE; break;
    case TextureOp::SelectArg2: mode = GL_REPLACE; arg1 = arg2; break;
    case TextureOp::Modulate2x: factor = 2.0f; break;
    case TextureOp::Modulate4x: factor = 4.0f; break;
    case TextureOp::Add:
    case TextureOp::AddSmooth: mode = GL_ADD; break;
    case TextureOp::AddSigned: mode = GL_ADD_SIGNED; break;
    case TextureOp::AddSigned2x: mode = GL_ADD_SIGNED; factor = 2.0f; break;
    case TextureOp::Subtract: mode = GL_SUBTRACT; break;
    case TextureOp::BlendDiffuseAlpha: mode = GL_INTERPOLATE; blendBy.source = GL_PRIMARY_COLOR; break;
    case TextureOp::BlendTextureAlpha:
    case TextureOp::BlendTextureAlphaPm: mode = GL_INTERPOLATE; break;
    case TextureOp::BlendFactorAlpha: mode = GL_INTERPOLATE; blendBy.source = GL_CONSTANT; break;
    case TextureOp::BlendCurrentAlpha: mode = GL_INTERPOLATE; blendBy.source = GL_PREVIOUS; break;
    case TextureOp::Disable:
        // Only reached for alpha: the colour goes on, the alpha passes through.
        mode = GL_REPLACE;
        arg1 = TextureArg::Current;
        break;
    default: break;
    }
    glTexEnvi(GL_TEXTURE_ENV, combine, mode);
    glTexEnvf(GL_TEXTURE_ENV, scale, factor);
    put(0, Source(arg1, alpha));
    if (mode != GL_REPLACE) {
        put(1, Source(arg2, alpha));
    }
    if (mode == GL_INTERPOLATE) {
        put(2, blendBy);
    }
}

// Direct3D pads two-dimensional coordinates to (u, v, 1, 0), OpenGL to
// (s, t, 0, 1): the translation of a 2D texture matrix moves from row 2 to row 3.
Matrix GlTextureMatrix(const Matrix& m, bool generated)
{
    if (generated) {
        return m;
    }
    Matrix r = m;
    r[8] = 0.0f;
    r[9] = 0.0f;
    r[10] = 1.0f;
    r[11] = 0.0f;
    r[12] = m[8];
    r[13] = m[9];
    r[14] = 0.0f;
    r[15] = 1.0f;
    return r;
}

}  // namespace

void Device::ReleaseWhiteTexture()
{
    if (this->whiteTexture != 0) {
        for (unsigned& bound : this->unitBound) {
            if (bound == this->whiteTexture) {
                bound = 0;
            }
        }
        glDeleteTextures(1, &this->whiteTexture);
        this->whiteTexture = 0;
    }
}

void Device::ApplyTextures()
{
    // A stage whose colour operation is off ends the chain of stages.
    bool chain = true;
    const int stages = std::min(this->caps.maxSimultaneousTextures, kMaxTextureStages);
    // Units past the device's stages read no coordinates.
    uint32_t coordSets = 0xFFFFFFFFu;
    const uint32_t factor = this->renderStates[static_cast<int>(RenderState::TextureFactor)];
    for (int stage = 0; stage < stages; ++stage) {
        const auto& ss = this->stageStates[stage];
        auto get = [&ss](StageState s) { return ss[static_cast<int>(s)]; };
        chain = chain && get(StageState::ColorOp) != TextureOp::Disable;
        const uint32_t coordIndex = get(StageState::TexCoordIndex);
        coordSets &= ~(0xFu << (stage * 4));
        coordSets |= (coordIndex & 0xFu) << (stage * 4);
        UnitState& unit = this->units[stage];
        if (!chain && this->unitEnabled[stage] == 0) {
            continue;
        }
        if (this->activeUnit != stage && (chain || this->unitEnabled[stage] != 0)) {
            glActiveTexture(GL_TEXTURE0 + stage);
            this->activeUnit = stage;
        }
        Texture* texture = this->stageTextures[stage];
        // Untextured drawing with the stage's first operations (texture times
        // colour, texture alpha) shows the vertex colour and alpha as they are;
        // any other operation reads white from an empty stage.
        const bool passThrough = texture == nullptr && get(StageState::ColorOp) == TextureOp::Modulate &&
                                 get(StageState::ColorArg1) == TextureArg::Texture &&
                                 get(StageState::ColorArg2) == TextureArg::Current &&
                                 get(StageState::AlphaOp) == TextureOp::SelectArg1 &&
                                 get(StageState::AlphaArg1) == TextureArg::Texture;
        if (!chain || passThrough) {
            if (this->unitEnabled[stage] != 0) {
                glDisable(GL_TEXTURE_2D);
                this->unitEnabled[stage] = 0;
            }
            // Later stages still read what this one passes on.
            continue;
        }
        if (this->unitEnabled[stage] != 1) {
            glEnable(GL_TEXTURE_2D);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
            this->unitEnabled[stage] = 1;
        }
        // The combiner, when the operations changed.
        const std::array<uint32_t, 6> combine = {get(StageState::ColorOp),   get(StageState::ColorArg1),
                                                 get(StageState::ColorArg2), get(StageState::AlphaOp),
                                                 get(StageState::AlphaArg1), get(StageState::AlphaArg2)};
        if (!unit.combineKnown || unit.combine != combine) {
            SetCombine(false, combine[0], combine[1], combine[2]);
            SetCombine(true, combine[3], combine[4], combine[5]);
            unit.combine = combine;
            unit.combineKnown = true;
        }
        if (!unit.factorKnown || unit.factor != factor) {
            float color[4];
            FactorColor(factor, color);
            glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, color);
            unit.factor = factor;
            unit.factorKnown = true;
        }
        // Coordinates generated from camera space, and the texture matrix.
        const uint32_t source = coordIndex & 0xFFFF0000u;
        const int generate = source == TexCoordSource::CameraSpacePosition ? 1
                             : source == TexCoordSource::CameraSpaceNormal ? 2
                                                                           : 0;
        if (unit.generate != generate) {
            if (generate == 0) {
                glDisable(GL_TEXTURE_GEN_S);
                glDisable(GL_TEXTURE_GEN_T);
                glDisable(GL_TEXTURE_GEN_R);
            } else {
                const GLint mode = generate == 1 ? GL_EYE_LINEAR : GL_NORMAL_MAP;
                glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, mode);
                glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, mode);
                glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, mode);
                if (generate == 1) {
                    // Eye planes are taken through the current model-view: with
                    // only the mirrored z loaded, they give camera space.
                    const float mirrorZ[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
                    const float planeS[4] = {1, 0, 0, 0};
                    const float planeT[4] = {0, 1, 0, 0};
                    const float planeR[4] = {0, 0, 1, 0};
                    glLoadMatrixf(mirrorZ);
                    glTexGenfv(GL_S, GL_EYE_PLANE, planeS);
                    glTexGenfv(GL_T, GL_EYE_PLANE, planeT);
                    glTexGenfv(GL_R, GL_EYE_PLANE, planeR);
                    this->transformsDirty = true;
                }
                glEnable(GL_TEXTURE_GEN_S);
                glEnable(GL_TEXTURE_GEN_T);
                glEnable(GL_TEXTURE_GEN_R);
            }
            unit.generate = generate;
        }
        const bool transformed = get(StageState::TextureTransformFlags) != TextureTransform::Disable;
        const Matrix matrix =
            transformed ? GlTextureMatrix(this->transforms[static_cast<int>(TransformKind::Texture0) + stage],
                                          generate != 0)
                        : IdentityMatrix();
        if (!unit.matrixKnown || unit.matrix != matrix) {
            glMatrixMode(GL_TEXTURE);
            glLoadMatrixf(matrix.data());
            glMatrixMode(GL_MODELVIEW);
            unit.matrix = matrix;
            unit.matrixKnown = true;
        }

        if (texture == nullptr) {
            // An active stage without a texture reads white.
            if (this->whiteTexture == 0) {
                glGenTextures(1, &this->whiteTexture);
                glBindTexture(GL_TEXTURE_2D, this->whiteTexture);
                const uint32_t white = 0xFFFFFFFFu;
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &white);
                this->unitBound[stage] = this->whiteTexture;
            }
            if (this->unitBound[stage] != this->whiteTexture) {
                glBindTexture(GL_TEXTURE_2D, this->whiteTexture);
                this->unitBound[stage] = this->whiteTexture;
            }
            continue;
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
    this->arrays->coordSets = coordSets;
}

}  // namespace render
