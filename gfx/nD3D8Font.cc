#include "gfx/nD3D8Font.h"

#include <algorithm>
#include <cstring>

#include "kernel/nKernelServer.h"
#include "platform/font/Face.h"
#include "platform/render/Device.h"
#include "platform/render/Texture.h"

namespace {
using render::RenderState;
using render::StageState;
constexpr unsigned ScreenLayout = render::kVertexPositionRhw | render::kVertexDiffuse | render::VertexTexSets(1);
constexpr unsigned ObjectLayout = render::kVertexPosition | render::kVertexNormal | render::VertexTexSets(1);
// Object-space text: glyph pixels per unit.
constexpr float PixelsPerUnit = 10.0f;
}  // namespace

nD3D8Font::nD3D8Font(const char* name, uint32_t h, uint32_t f) : height(h), flags(f) {
    std::strncpy(faceName, name ? name : "", sizeof(faceName) - 1);
    faceName[sizeof(faceName) - 1] = 0;
    vertices.resize(BatchVertices);
    vertices3d.resize(BatchVertices);
}

nD3D8Font::~nD3D8Font() {
    InvalidateDeviceObjects();
    DeleteDeviceObjects();
}

bool nD3D8Font::InitDeviceObjects(render::Device* dev) {
    device = dev;
    if (!device) return false;
    texWidth = texHeight = height > 40 ? 1024 : height > 20 ? 512 : 256;
    textScale = 1.0f;
    const int maxWidth = device->GetCaps().maxTextureWidth;
    if (int(texWidth) > maxWidth) {
        textScale = float(maxWidth) / float(texWidth);
        texWidth = texHeight = uint32_t(maxWidth);
    }
    const int pixels = int((int(height) * int(96 * textScale) + 36) / 72);
    auto face = font::Face::Open(faceName, std::max(1, pixels), flags & BOLD, flags & ITALIC);
    if (!face) {
        n_error("nD3D8Font: no face for '%s'\n", faceName);
        return false;
    }
    texture = device->CreateTexture(int(texWidth), int(texHeight), 1, render::Format::A4R4G4B4);
    if (!texture) return false;

    // Lay the characters out in rows, then copy the coverage into the texture.
    std::vector<uint32_t> bitmap(size_t(texWidth) * texHeight, 0);
    const int cell = face->GetCellHeight();
    int x = 0, y = 0;
    for (int c = 32; c < 255; ++c) {
        const int w = face->GetAdvance(uint8_t(c));
        if (x + w + 1 > int(texWidth)) {
            x = 0;
            y += cell + 1;
        }
        face->Draw(uint8_t(c), bitmap.data(), int(texWidth), int(texHeight), x, y);
        coords[c - 32][0] = float(x) / float(texWidth);
        coords[c - 32][1] = float(y) / float(texHeight);
        coords[c - 32][2] = float(x + w) / float(texWidth);
        coords[c - 32][3] = float(y + cell) / float(texHeight);
        x += w + 1;
    }
    render::LockedRect locked;
    if (!texture->LockRect(0, nullptr, locked)) return false;
    for (uint32_t row = 0; row < texHeight; ++row) {
        auto* dst = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(locked.bits) + size_t(row) * size_t(locked.pitch));
        for (uint32_t col = 0; col < texWidth; ++col) {
            const uint32_t a = (bitmap[size_t(row) * texWidth + col] & 0xFF) >> 4;
            dst[col] = uint16_t(a > 0 ? (a << 12 | 0x0FFF) : 0);
        }
    }
    texture->UnlockRect(0);
    return true;
}

bool nD3D8Font::recordBlock(uint32_t& block) {
    if (!device->BeginStateBlock()) return false;
    device->SetTexture(0, texture.get());
    auto rs = [this](RenderState s, uint32_t v) { device->SetRenderState(s, v); };
    rs(RenderState::AlphaBlendEnable, 1);
    rs(RenderState::SrcBlend, render::Blend::SrcAlpha);
    rs(RenderState::DestBlend, render::Blend::InvSrcAlpha);
    rs(RenderState::AlphaTestEnable, 1);
    rs(RenderState::AlphaRef, 8);
    rs(RenderState::AlphaFunc, render::Compare::GreaterEqual);
    rs(RenderState::FillMode, render::FillMode::Solid);
    rs(RenderState::CullMode, render::Cull::Ccw);
    rs(RenderState::ZEnable, 0);
    rs(RenderState::StencilEnable, 0);
    rs(RenderState::Clipping, 1);
    rs(RenderState::EdgeAntialias, 0);
    rs(RenderState::ClipPlaneEnable, 0);
    rs(RenderState::VertexBlend, 0);
    rs(RenderState::IndexedVertexBlendEnable, 0);
    rs(RenderState::FogEnable, 0);
    auto ts = [this](int stage, StageState s, uint32_t v) { device->SetTextureStageState(stage, s, v); };
    ts(0, StageState::ColorOp, render::TextureOp::Modulate);
    ts(0, StageState::ColorArg1, render::TextureArg::Texture);
    ts(0, StageState::ColorArg2, render::TextureArg::Diffuse);
    ts(0, StageState::AlphaOp, render::TextureOp::Modulate);
    ts(0, StageState::AlphaArg1, render::TextureArg::Texture);
    ts(0, StageState::AlphaArg2, render::TextureArg::Diffuse);
    ts(0, StageState::MinFilter, render::TextureFilter::Point);
    ts(0, StageState::MagFilter, render::TextureFilter::Point);
    ts(0, StageState::MipFilter, render::TextureFilter::None);
    ts(0, StageState::TexCoordIndex, 0);
    ts(0, StageState::TextureTransformFlags, render::TextureTransform::Disable);
    ts(1, StageState::ColorOp, render::TextureOp::Disable);
    ts(1, StageState::AlphaOp, render::TextureOp::Disable);
    block = device->EndStateBlock();
    return block != 0;
}

bool nD3D8Font::RestoreDeviceObjects() {
    if (!device || !texture) return false;
    return recordBlock(savedBlock) && recordBlock(drawBlock);
}

void nD3D8Font::InvalidateDeviceObjects() {
    if (!device) return;
    if (savedBlock) device->DeleteStateBlock(savedBlock);
    if (drawBlock) device->DeleteStateBlock(drawBlock);
    savedBlock = drawBlock = 0;
}

void nD3D8Font::DeleteDeviceObjects() { texture.reset(); }

void nD3D8Font::measure(const char* text, float& width, float& height) const {
    float row = 0.0f;
    width = 0.0f;
    height = lineHeight();
    for (const auto* p = reinterpret_cast<const uint8_t*>(text); *p; ++p) {
        if (*p == '\n') {
            row = 0.0f;
            height += lineHeight();
        }
        if (*p < 32) continue;
        row += (coords[*p - 32][2] - coords[*p - 32][0]) * float(texWidth);
        width = std::max(width, row);
    }
}

void nD3D8Font::GetTextExtent(const char* text, int& width, int& height) const {
    width = height = 0;
    if (!text || !texture) return;
    float w = 0.0f, h = 0.0f;
    measure(text, w, h);
    width = int(w);
    height = int(h);
}

bool nD3D8Font::begin(const char* text, uint32_t drawFlags) {
    if (!device || !text || !HasDeviceObjects()) return false;
    device->CaptureStateBlock(savedBlock);
    device->ApplyStateBlock(drawBlock);
    if (drawFlags & FILTERED) {
        device->SetTextureStageState(0, StageState::MinFilter, render::TextureFilter::Linear);
        device->SetTextureStageState(0, StageState::MagFilter, render::TextureFilter::Linear);
    }
    return true;
}

template <typename V, typename Place>
void nD3D8Font::drawGlyphs(const char* text, V* quads, unsigned layout, float x, float y, float scaleW,
                           float scaleH, float lineStep, Place place) {
    auto flush = [&](int count) {
        if (count <= 0) return;
        device->DrawUserPrimitives(render::PrimitiveType::TriangleList, count / 3, layout, quads, int(sizeof(V)));
        ++batches;
    };
    const float startX = x;
    int n = 0;
    for (const auto* p = reinterpret_cast<const uint8_t*>(text); *p; ++p) {
        const uint8_t c = *p;
        if (c == '\n') {
            x = startX;
            y += lineStep;
        }
        // The last code has no glyph.
        if (c < 32 || c == 255) continue;
        const float* t = coords[c - 32];
        const float w = (t[2] - t[0]) * float(texWidth) * scaleW;
        const float h = (t[3] - t[1]) * float(texHeight) * scaleH;
        place(quads + n, x, y, w, h, t);
        n += 6;
        x += w;
        if (n > BatchLimit) {
            flush(n);
            n = 0;
        }
    }
    flush(n);
    device->ApplyStateBlock(savedBlock);
}

namespace {
// Two triangles of a screen glyph from its top-left corner (rows grow downwards), offset
// by half a pixel so that texels land on pixels.
struct ScreenQuad {
    float z;
    uint32_t color;
    template <typename V>
    void operator()(V* q, float x, float y, float w, float h, const float* t) const {
        const float x0 = x - 0.5f, y0 = y - 0.5f, x1 = x + w - 0.5f, y1 = y + h - 0.5f;
        q[0] = V{x0, y1, z, 1.0f, color, t[0], t[3]};
        q[1] = V{x0, y0, z, 1.0f, color, t[0], t[1]};
        q[2] = V{x1, y1, z, 1.0f, color, t[2], t[3]};
        q[3] = V{x1, y0, z, 1.0f, color, t[2], t[1]};
        q[4] = q[2];
        q[5] = q[1];
    }
};
}  // namespace

void nD3D8Font::DrawText(float sx, float sy, uint32_t color, const char* text, uint32_t drawFlags) {
    if (!begin(text, drawFlags)) return;
    const float scale = 1.0f / textScale;
    drawGlyphs(text, vertices.data(), ScreenLayout, sx, sy, scale, scale, lineHeight() * scale,
               ScreenQuad{0.9f, color});
}

void nD3D8Font::DrawTextScaled(float x, float y, float z, float scaleX, float scaleY, uint32_t color,
                               const char* text, uint32_t drawFlags) {
    if (!begin(text, drawFlags)) return;
    const render::Viewport& vp = device->GetViewport();
    const float line = scaleY * float(vp.height);
    const float perTexel = float(vp.height) / lineHeight();
    drawGlyphs(text, vertices.data(), ScreenLayout, float(vp.x) + (x + 1.0f) * 0.5f * float(vp.width),
               float(vp.y) + (y + 1.0f) * 0.5f * float(vp.height), scaleX * perTexel, scaleY * perTexel, line,
               ScreenQuad{z, color});
}

void nD3D8Font::Render3DText(const char* text, uint32_t drawFlags) {
    if (!begin(text, drawFlags)) return;
    const float scale = 1.0f / (PixelsPerUnit * textScale);
    const float line = lineHeight() * scale;
    float x = 0.0f, y = 0.0f;
    if (drawFlags & CENTERED) {
        // The whole block of lines around the origin; the first line at its top.
        float w = 0.0f, h = 0.0f;
        measure(text, w, h);
        x = -0.5f * w * scale;
        y = 0.5f * h * scale - line;
    }
    if (drawFlags & TWOSIDED) device->SetRenderState(RenderState::CullMode, render::Cull::None);
    // Rows grow upwards here, and the text faces the camera looking along +z.
    drawGlyphs(text, vertices3d.data(), ObjectLayout, x, y, scale, scale, -line,
               [](Vertex3D* q, float gx, float gy, float w, float h, const float* t) {
                   q[0] = Vertex3D{gx, gy, 0.0f, 0.0f, 0.0f, -1.0f, t[0], t[3]};
                   q[1] = Vertex3D{gx, gy + h, 0.0f, 0.0f, 0.0f, -1.0f, t[0], t[1]};
                   q[2] = Vertex3D{gx + w, gy, 0.0f, 0.0f, 0.0f, -1.0f, t[2], t[3]};
                   q[3] = Vertex3D{gx + w, gy + h, 0.0f, 0.0f, 0.0f, -1.0f, t[2], t[1]};
                   q[4] = q[2];
                   q[5] = q[1];
               });
}
