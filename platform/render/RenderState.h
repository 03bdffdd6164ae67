#pragma once
// The device's render states and texture-stage states, with the values they
// take and the defaults a freshly opened or reset device starts from (those of
// Direct3D 8, which the engine's state code was written against). Enumerations
// whose numbers the engine computes with (blend, compare, cull) keep the
// numbers it expects.

#include <cstdint>

namespace render {

enum class RenderState : int {
    ZEnable,
    FillMode,
    ShadeMode,
    ZWriteEnable,
    AlphaTestEnable,
    SrcBlend,
    DestBlend,
    CullMode,
    ZFunc,
    AlphaRef,
    AlphaFunc,
    DitherEnable,
    AlphaBlendEnable,
    FogEnable,
    SpecularEnable,
    FogColor,
    FogTableMode,
    FogStart,    // float bits
    FogEnd,      // float bits
    FogDensity,  // float bits
    EdgeAntialias,
    ZBias,
    RangeFogEnable,
    StencilEnable,
    StencilFail,
    StencilZFail,
    StencilPass,
    StencilFunc,
    StencilRef,
    StencilMask,
    StencilWriteMask,
    TextureFactor,
    Clipping,
    Lighting,
    Ambient,
    FogVertexMode,
    ColorVertex,
    LocalViewer,
    NormalizeNormals,
    DiffuseMaterialSource,
    SpecularMaterialSource,
    AmbientMaterialSource,
    EmissiveMaterialSource,
    VertexBlend,
    ClipPlaneEnable,
    PointSize,  // float bits
    IndexedVertexBlendEnable,
    ColorWriteEnable,
    BlendOp,
    Count
};

enum class StageState : int {
    ColorOp,
    ColorArg1,
    ColorArg2,
    AlphaOp,
    AlphaArg1,
    AlphaArg2,
    TexCoordIndex,
    AddressU,
    AddressV,
    MagFilter,
    MinFilter,
    MipFilter,
    MipMapLodBias,  // float bits
    MaxMipLevel,
    TextureTransformFlags,
    Count
};

constexpr int kRenderStateCount = static_cast<int>(RenderState::Count);
constexpr int kStageStateCount = static_cast<int>(StageState::Count);
constexpr int kMaxTextureStages = 8;
constexpr int kMaxLights = 8;

namespace Blend {
enum : uint32_t {
    Zero = 1, One, SrcColor, InvSrcColor, SrcAlpha, InvSrcAlpha, DestAlpha, InvDestAlpha,
    DestColor, InvDestColor, SrcAlphaSat
};
}
namespace BlendOperation {
enum : uint32_t { Add = 1, Subtract, RevSubtract, Min, Max };
}
namespace Compare {
enum : uint32_t { Never = 1, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always };
}
namespace Cull {
// Cull clockwise (Cw) or counter-clockwise (Ccw) triangles, as seen on screen.
enum : uint32_t { None = 1, Cw = 2, Ccw = 3 };
}
namespace StencilOperation {
enum : uint32_t { Keep = 1, Zero, Replace, IncrementSaturate, DecrementSaturate, Invert, Increment, Decrement };
}
namespace FogMode {
enum : uint32_t { None = 0, Exp = 1, Exp2 = 2, Linear = 3 };
}
namespace FillMode {
enum : uint32_t { Point = 1, Wireframe = 2, Solid = 3 };
}
namespace ShadeMode {
enum : uint32_t { Flat = 1, Gouraud = 2 };
}
namespace MaterialSource {
enum : uint32_t { Material = 0, Color1 = 1, Color2 = 2 };
}
namespace ColorWrite {
enum : uint32_t { Red = 1, Green = 2, Blue = 4, Alpha = 8, All = 15 };
}
namespace TextureOp {
enum : uint32_t {
    Disable = 1, SelectArg1, SelectArg2, Modulate, Modulate2x, Modulate4x, Add, AddSigned,
    AddSigned2x, Subtract, AddSmooth, BlendDiffuseAlpha, BlendTextureAlpha, BlendFactorAlpha,
    BlendTextureAlphaPm, BlendCurrentAlpha
};
}
namespace TextureArg {
enum : uint32_t { Diffuse = 0, Current = 1, Texture = 2, Factor = 3, Specular = 4, Complement = 0x10, AlphaReplicate = 0x20 };
}
namespace TextureFilter {
enum : uint32_t { None = 0, Point = 1, Linear = 2 };
}
namespace TextureAddress {
enum : uint32_t { Wrap = 1, Mirror = 2, Clamp = 3 };
}
namespace TexCoordSource {
// Added to the coordinate set number in StageState::TexCoordIndex.
enum : uint32_t { CameraSpaceNormal = 0x10000, CameraSpacePosition = 0x20000 };
}
namespace TextureTransform {
enum : uint32_t { Disable = 0, Count1, Count2, Count3, Count4 };
}

// The value a render state has after the device opens or resets; ZEnable
// depends on whether the device has a depth buffer.
uint32_t DefaultRenderState(RenderState state, bool hasDepthBuffer);
uint32_t DefaultStageState(int stage, StageState state);

}  // namespace render
