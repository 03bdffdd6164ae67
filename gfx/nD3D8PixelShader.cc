#include "gfx/nD3D8PixelShader.h"

#include <algorithm>

#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8Texture.h"
#include "gfx/nPixelShaderDesc.h"
#include "gfx/nTexArray.h"
#include "gfx/nTexture.h"
#include "kernel/nColorByte.h"
#include "platform/render/Device.h"

const nClassInfo nD3D8PixelShader::classInfo = nClassInfo::Make<nD3D8PixelShader>("nd3d8pixelshader", "npixelshader");

namespace {

using render::RenderState;
using render::StageState;
namespace TextureOp = render::TextureOp;
namespace TextureArg = render::TextureArg;

// What a shader without description draws with: no stages, the default switches.
const nPixelShaderDesc& emptyDesc() {
    static const nPixelShaderDesc empty;
    return empty;
}

uint32_t mapBlend(int code) { return code >= nPixelShaderDesc::ZERO && code <= nPixelShaderDesc::INVDESTCOLOR ? uint32_t(code - 21) : render::Blend::Zero; }

uint32_t mapCompare(int code) {
    return code >= nPixelShaderDesc::NEVER && code <= nPixelShaderDesc::ALWAYS ? uint32_t(code - 13) : render::Compare::LessEqual;
}

uint32_t mapArg(uint32_t arg) {
    uint32_t out;
    switch (arg & nPixelShaderDesc::SRCMASK) {
    case nPixelShaderDesc::PREV: out = TextureArg::Current; break;
    case nPixelShaderDesc::CONST: out = TextureArg::Factor; break;
    case nPixelShaderDesc::PRIM: out = TextureArg::Diffuse; break;
    default: out = TextureArg::Texture; break;
    }
    if (arg & nPixelShaderDesc::INV) out |= TextureArg::Complement;
    return out;
}

uint32_t mapOp(const nPixelShaderDesc::StageOp& op) {
    switch (op.op) {
    case nPixelShaderDesc::REPLACE: return TextureOp::SelectArg1;
    case nPixelShaderDesc::MUL:
        return op.scale == nPixelShaderDesc::TWO ? TextureOp::Modulate2x
               : op.scale == nPixelShaderDesc::FOUR ? TextureOp::Modulate4x
                                                   : TextureOp::Modulate;
    case nPixelShaderDesc::ADD: return TextureOp::Add;
    case nPixelShaderDesc::ADDS: return op.scale == nPixelShaderDesc::ONE ? TextureOp::AddSigned : TextureOp::AddSigned2x;
    case nPixelShaderDesc::IPOL:
        switch (op.arg2 & nPixelShaderDesc::SRCMASK) {
        case nPixelShaderDesc::TEX: return TextureOp::BlendTextureAlpha;
        case nPixelShaderDesc::PREV: return TextureOp::BlendCurrentAlpha;
        case nPixelShaderDesc::CONST: return TextureOp::BlendFactorAlpha;
        default: return TextureOp::Disable;
        }
    default: return TextureOp::Disable;
    }
}

render::Matrix toDevice(const matrix44& m) {
    render::Matrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[r * 4 + c] = m.m[r][c];
    return out;
}

render::Color4 color4(const float c[4]) { return render::Color4{c[0], c[1], c[2], c[3]}; }

}  // namespace

nD3D8PixelShader::nD3D8PixelShader() : numPasses(0), passFirst{}, passStages{}, stateBlocks{}, sphereMap{} {}

nD3D8PixelShader::~nD3D8PixelShader() {
    // Without a graphics server no state block was ever recorded.
    nRoot* root = refGfx.Resolve();
    if (!root || !root->IsA("nd3d8server")) return;
    nD3D8Server* gfx = static_cast<nD3D8Server*>(root);
    if (gfx->GetLastPixelShader() == this) gfx->SetLastPixelShader(nullptr);
    render::Device* device = gfx->GetDevice();
    for (uint32_t& block : stateBlocks) {
        if (block && device) device->DeleteStateBlock(block);
        block = 0;
    }
}

nD3D8Server* nD3D8PixelShader::server() {
    nRoot* gfx = refGfx.Get();  // "Aborting." without a graphics server
    if (!gfx->IsA("nd3d8server")) nKernelServer::FatalError("Aborting.");
    return static_cast<nD3D8Server*>(gfx);
}

uint32_t nD3D8PixelShader::PackColor(const float c[4]) {
    auto channel = [](float v) { return n_unit_byte(v); };
    return channel(c[3]) << 24 | channel(c[0]) << 16 | channel(c[1]) << 8 | channel(c[2]);
}

matrix44 nD3D8PixelShader::TextureMatrix2D(const matrix44& m) {
    matrix44 r = m;
    r.m[2][0] = m.m[3][0];
    r.m[2][1] = m.m[3][1];
    r.m[2][2] = 1.0f;
    r.m[2][3] = 0.0f;
    r.m[0][2] = 0.0f;
    r.m[1][2] = 0.0f;
    r.m[3][0] = 0.0f;
    r.m[3][1] = 0.0f;
    r.m[3][2] = 0.0f;
    r.m[3][3] = 1.0f;
    return r;
}

int nD3D8PixelShader::BeginPasses(nTexArray* textures) {
    inDraw = true;
    const nPixelShaderDesc& d = desc ? *desc : emptyDesc();
    const bool changed = desc && desc->renderStatesChanged;
    if (numPasses == 0 || changed) {
        const int m = std::max(1, server()->GetMaxSimultaneousTextures());
        const int n = std::clamp(d.numStages, 0, nPixelShaderDesc::MaxStages);
        numPasses = n == 0 ? 1 : std::min((n + m - 1) / m, int(MaxPasses));
        for (int p = 0; p < numPasses; ++p) {
            passFirst[p] = p * m;
            passStages[p] = n == 0 ? 0 : std::min(m, n - p * m);
        }
    }
    texArray = textures;
    if (changed || stateBlocks[0] == 0) RecordStateBlocks();
    return numPasses;
}

bool nD3D8PixelShader::RecordStateBlocks() {
    if (desc) {
        desc->renderStatesChanged = false;
        desc->applyStateBlock = true;
    }
    render::Device* device = server()->GetDevice();
    if (!device) return false;
    for (int p = 0; p < numPasses; ++p) {
        if (stateBlocks[p]) device->DeleteStateBlock(stateBlocks[p]);
        stateBlocks[p] = 0;
        if (!device->BeginStateBlock()) return false;
        recordPass(p);
        stateBlocks[p] = device->EndStateBlock();
        if (!stateBlocks[p]) return false;
    }
    return true;
}

void nD3D8PixelShader::recordPass(int pass) {
    render::Device* dev = server()->GetDevice();
    nPixelShaderDesc& d = desc ? *desc : const_cast<nPixelShaderDesc&>(emptyDesc());
    auto rs = [dev](RenderState s, uint32_t v) { dev->SetRenderState(s, v); };
    if (pass == 0) {
        rs(RenderState::Lighting, d.lightEnable);
        rs(RenderState::AlphaBlendEnable, d.alphaEnable);
        rs(RenderState::ZWriteEnable, d.zwriteEnable);
        rs(RenderState::SrcBlend, mapBlend(d.srcBlend));
        rs(RenderState::DestBlend, mapBlend(d.destBlend));
        rs(RenderState::ZFunc, mapCompare(d.zFunc));
        rs(RenderState::CullMode, d.cullMode == nPixelShaderDesc::CULL_NONE ? render::Cull::None
                                  : d.cullMode == nPixelShaderDesc::CULL_CW ? render::Cull::Ccw
                                                                            : render::Cull::Cw);
        const uint32_t material = render::MaterialSource::Material;
        const uint32_t vertex = render::MaterialSource::Color1;
        switch (d.colorMaterial) {
        case nPixelShaderDesc::CM_MATERIAL:
            rs(RenderState::DiffuseMaterialSource, material);
            rs(RenderState::AmbientMaterialSource, material);
            rs(RenderState::EmissiveMaterialSource, material);
            rs(RenderState::ColorVertex, 0);
            break;
        case nPixelShaderDesc::CM_DIFFUSE:
        case nPixelShaderDesc::CM_EMISSIVE:
        case nPixelShaderDesc::CM_AMBIENT:
            rs(RenderState::DiffuseMaterialSource, d.colorMaterial == nPixelShaderDesc::CM_DIFFUSE ? vertex : material);
            rs(RenderState::EmissiveMaterialSource, d.colorMaterial == nPixelShaderDesc::CM_EMISSIVE ? vertex : material);
            rs(RenderState::AmbientMaterialSource, d.colorMaterial == nPixelShaderDesc::CM_AMBIENT ? vertex : material);
            rs(RenderState::ColorVertex, 1);
            break;
        default: break;
        }
        if (d.alphaTestEnable) {
            rs(RenderState::AlphaTestEnable, 1);
            rs(RenderState::AlphaFunc, mapCompare(d.alphaFunc));
            rs(RenderState::AlphaRef, n_unit_byte(1.0f - d.alphaRef));
        } else {
            rs(RenderState::AlphaTestEnable, 0);
        }
    }
    for (int s = 0; s < passStages[pass]; ++s) {
        const int ds = passFirst[pass] + s;
        nPixelShaderDesc::Stage& st = d.stages[ds];
        auto ts = [dev, s](StageState state, uint32_t v) { dev->SetTextureStageState(s, state, v); };
        ts(StageState::AddressU, st.addressU == nPixelShaderDesc::CLAMP ? render::TextureAddress::Clamp : render::TextureAddress::Wrap);
        ts(StageState::AddressV, st.addressV == nPixelShaderDesc::CLAMP ? render::TextureAddress::Clamp : render::TextureAddress::Wrap);
        uint32_t minF = render::TextureFilter::Point, mipF = render::TextureFilter::None;
        switch (st.minFilter) {
        case nPixelShaderDesc::LINEAR: minF = render::TextureFilter::Linear; break;
        case nPixelShaderDesc::NEAREST_MIPMAP_NEAREST: mipF = render::TextureFilter::Point; break;
        case nPixelShaderDesc::LINEAR_MIPMAP_NEAREST: minF = render::TextureFilter::Linear; mipF = render::TextureFilter::Point; break;
        case nPixelShaderDesc::NEAREST_MIPMAP_LINEAR: mipF = render::TextureFilter::Linear; break;
        case nPixelShaderDesc::LINEAR_MIPMAP_LINEAR: minF = render::TextureFilter::Linear; mipF = render::TextureFilter::Linear; break;
        default: break;
        }
        ts(StageState::MinFilter, minF);
        ts(StageState::MipFilter, mipF);
        ts(StageState::MagFilter, st.magFilter == nPixelShaderDesc::NEAREST ? render::TextureFilter::Point : render::TextureFilter::Linear);
        ts(StageState::TextureTransformFlags, st.enableTransform ? render::TextureTransform::Count2 : render::TextureTransform::Disable);
        sphereMap[s] = false;
        switch (st.texCoordSrc) {
        case nPixelShaderDesc::UV0:
        case nPixelShaderDesc::UV1:
        case nPixelShaderDesc::UV2:
        case nPixelShaderDesc::UV3: ts(StageState::TexCoordIndex, uint32_t(st.texCoordSrc - nPixelShaderDesc::UV0)); break;
        case nPixelShaderDesc::OBJECTSPACE:
            d.transformChanged = true;
            [[fallthrough]];
        case nPixelShaderDesc::EYESPACE: ts(StageState::TexCoordIndex, render::TexCoordSource::CameraSpacePosition | uint32_t(s)); break;
        case nPixelShaderDesc::SPHEREMAP:
            ts(StageState::TexCoordIndex, render::TexCoordSource::CameraSpaceNormal | uint32_t(s));
            sphereMap[s] = true;
            d.transformChanged = true;
            break;
        default: break;
        }

        const nPixelShaderDesc::StageOp& cop = d.colorOp[ds];
        const nPixelShaderDesc::StageOp& aop = d.alphaOp[ds];
        if (numPasses > 1 && pass > 0 && s == 0) {
            // Drawn over the frame buffer: the blend stands for the stage's operation.
            ts(StageState::ColorOp, TextureOp::SelectArg1);
            ts(StageState::ColorArg1, mapArg(cop.arg0));
            ts(StageState::AlphaOp, TextureOp::SelectArg1);
            ts(StageState::AlphaArg1, mapArg(cop.arg0));
            rs(RenderState::AlphaBlendEnable, 1);
            uint32_t src = render::Blend::Zero, dst = render::Blend::SrcColor;
            if (cop.op == nPixelShaderDesc::ADD || cop.op == nPixelShaderDesc::ADDS) {
                src = render::Blend::One;
                dst = render::Blend::One;
            } else if (cop.op == nPixelShaderDesc::IPOL) {
                src = render::Blend::SrcAlpha;
                dst = render::Blend::InvSrcAlpha;
            }
            rs(RenderState::SrcBlend, src);
            rs(RenderState::DestBlend, dst);
            rs(RenderState::ZBias, 1);
            rs(RenderState::ZWriteEnable, 0);
            rs(RenderState::FogEnable, 0);
        } else {
            ts(StageState::ColorOp, mapOp(cop));
            ts(StageState::ColorArg1, mapArg(cop.arg0));
            ts(StageState::ColorArg2, mapArg(cop.arg1));
            const uint32_t alpha = mapOp(aop);
            if (alpha == TextureOp::Disable) {
                ts(StageState::AlphaOp, mapOp(cop));
                ts(StageState::AlphaArg1, mapArg(cop.arg0));
                ts(StageState::AlphaArg2, mapArg(cop.arg1));
            } else {
                ts(StageState::AlphaOp, alpha);
                ts(StageState::AlphaArg1, mapArg(aop.arg0));
                ts(StageState::AlphaArg2, mapArg(aop.arg1));
            }
        }
    }
}

void nD3D8PixelShader::bindTextures(int pass) {
    nD3D8Server* gfx = server();
    render::Device* dev = gfx->GetDevice();
    const int count = passStages[pass];
    for (int s = 0; s < count; ++s) {
        nTexture* tex = texArray ? texArray->GetTexture(passFirst[pass] + s) : nullptr;
        if (tex) {
            if (tex != gfx->GetStageTexture(s)) {
                gfx->SetTexture(s, tex);
                dev->SetTextureStageState(s, StageState::MipMapLodBias, render::FloatBits(-1.3f));
                tex->CountBind();
            } else {
                // Still bound from the last draw, but the scene graph may have picked
                // another level since; the server records device textures only.
                static_cast<nD3D8Texture*>(tex)->ApplyLOD();
            }
        } else {
            // An empty slot draws without texture, whatever was bound before.
            if (gfx->GetStageTexture(s)) gfx->SetTexture(s, nullptr);
            dev->SetTextureStageState(s, StageState::ColorOp, TextureOp::Disable);
            dev->SetTextureStageState(s, StageState::AlphaOp, TextureOp::Disable);
        }
    }
    // The stage after the pass ends the cascade.
    if (count < render::kMaxTextureStages) {
        if (count < nD3D8Server::MaxTextureStages) gfx->SetTexture(count, nullptr);
        else dev->SetTexture(count, nullptr);
        dev->SetTextureStageState(count, StageState::ColorOp, TextureOp::Disable);
        dev->SetTextureStageState(count, StageState::AlphaOp, TextureOp::Disable);
    }
}

void nD3D8PixelShader::SetPass(int pass) {
    nD3D8Server* gfx = server();
    render::Device* dev = gfx->GetDevice();
    if (!dev || pass < 0 || pass >= numPasses) return;
    nPixelShaderDesc& d = desc ? *desc : const_cast<nPixelShaderDesc&>(emptyDesc());
    const bool all = gfx->GetLastPixelShader() != this || numPasses > 1;
    if (all || d.applyStateBlock) {
        if (stateBlocks[pass] && !dev->ApplyStateBlock(stateBlocks[pass])) return;
        if (pass == 0) dev->SetRenderState(RenderState::FogEnable, d.fogEnable && gfx->IsFogEnabled());
        if (desc) desc->applyStateBlock = false;
    }
    bindTextures(pass);
    if (pass == 0) {
        if (all || d.materialChanged) {
            render::Material m;
            m.diffuse = color4(d.diffuse);
            m.ambient = color4(d.ambient);
            m.emissive = color4(d.emissive);
            dev->SetMaterial(m);
            if (desc) desc->materialChanged = false;
        }
        if (all || d.constColorChanged) {
            dev->SetRenderState(RenderState::TextureFactor, PackColor(d.constColor));
            if (desc) desc->constColorChanged = false;
        }
    }
    // Another shader may have left its own texture matrices: a full set-up sends them.
    if (all || d.transformChanged) {
        for (int s = 0; s < passStages[pass]; ++s) {
            nPixelShaderDesc::Stage& st = d.stages[passFirst[pass] + s];
            const auto kind = render::TransformKind(int(render::TransformKind::Texture0) + s);
            if (!st.enableTransform) {
                dev->SetTransform(kind, render::IdentityMatrix());
                continue;
            }
            if (st.matrixChanged) {
                st.matrix.Ident();
                st.matrix.Scale(st.scale);
                st.matrix.RotateX(st.rotate.x);
                st.matrix.RotateY(st.rotate.y);
                st.matrix.RotateZ(st.rotate.z);
                st.matrix.m[3][0] += st.translate.x;
                st.matrix.m[3][1] += st.translate.y;
                st.matrix.m[3][2] += st.translate.z;
                st.matrixChanged = false;
            }
            matrix44 m;
            if (sphereMap[s]) {
                m = st.matrix;
                m.Scale(vector3(0.5f, 0.5f, 1.0f));
                m.Translate(vector3(0.5f, 0.5f, 0.0f));
            } else {
                m = TextureMatrix2D(st.matrix);
            }
            dev->SetTransform(kind, toDevice(m));
        }
        if (desc) desc->transformChanged = false;
    }
}

void nD3D8PixelShader::EndPasses() {
    inDraw = false;
    nD3D8Server* gfx = server();
    if (numPasses > 1) {
        if (render::Device* dev = gfx->GetDevice()) {
            dev->SetRenderState(RenderState::ZBias, 0);
            dev->SetRenderState(RenderState::ZWriteEnable, 1);
        }
    }
    gfx->SetLastPixelShader(this);
    texArray = nullptr;
}
