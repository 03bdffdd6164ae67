#include "platform/render/RenderState.h"

#include "platform/render/RenderTypes.h"

namespace render {

uint32_t DefaultRenderState(RenderState state, bool hasDepthBuffer)
{
    switch (state) {
    case RenderState::ZEnable: return hasDepthBuffer ? 1 : 0;
    case RenderState::FillMode: return FillMode::Solid;
    case RenderState::ShadeMode: return ShadeMode::Gouraud;
    case RenderState::ZWriteEnable: return 1;
    case RenderState::SrcBlend: return Blend::One;
    case RenderState::DestBlend: return Blend::Zero;
    case RenderState::CullMode: return Cull::Ccw;
    case RenderState::ZFunc: return Compare::LessEqual;
    case RenderState::AlphaFunc: return Compare::Always;
    case RenderState::FogEnd: return FloatBits(1.0f);
    case RenderState::FogDensity: return FloatBits(1.0f);
    case RenderState::StencilFail:
    case RenderState::StencilZFail:
    case RenderState::StencilPass: return StencilOperation::Keep;
    case RenderState::StencilFunc: return Compare::Always;
    case RenderState::StencilMask:
    case RenderState::StencilWriteMask:
    case RenderState::TextureFactor: return 0xFFFFFFFFu;
    case RenderState::Clipping:
    case RenderState::Lighting:
    case RenderState::ColorVertex:
    case RenderState::LocalViewer: return 1;
    case RenderState::DiffuseMaterialSource: return MaterialSource::Color1;
    case RenderState::SpecularMaterialSource: return MaterialSource::Color2;
    case RenderState::PointSize: return FloatBits(1.0f);
    case RenderState::ColorWriteEnable: return ColorWrite::All;
    case RenderState::BlendOp: return BlendOperation::Add;
    default: return 0;
    }
}

uint32_t DefaultStageState(int stage, StageState state)
{
    switch (state) {
    case StageState::ColorOp: return stage == 0 ? TextureOp::Modulate : TextureOp::Disable;
    case StageState::AlphaOp: return stage == 0 ? TextureOp::SelectArg1 : TextureOp::Disable;
    case StageState::ColorArg1:
    case StageState::AlphaArg1: return TextureArg::Texture;
    case StageState::ColorArg2:
    case StageState::AlphaArg2: return TextureArg::Current;
    case StageState::TexCoordIndex: return static_cast<uint32_t>(stage);
    case StageState::AddressU:
    case StageState::AddressV: return TextureAddress::Wrap;
    case StageState::MagFilter:
    case StageState::MinFilter: return TextureFilter::Point;
    case StageState::MipFilter: return TextureFilter::None;
    case StageState::MipMapLodBias: return FloatBits(0.0f);
    default: return 0;
    }
}

}  // namespace render
