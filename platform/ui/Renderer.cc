#include "platform/ui/Renderer.h"

#include "platform/render/Device.h"
#include "platform/render/RenderState.h"
#include "platform/render/Texture.h"
#include "platform/ui/Host.h"

#include <SDL2/SDL_log.h>
#include <imgui.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace ui {

namespace {

using render::RenderState;
using render::StageState;

constexpr unsigned kFormat = render::kVertexPosition | render::kVertexDiffuseRgba | render::VertexTexSets(1);
constexpr int kStride = render::VertexSize(kFormat);
static_assert(sizeof(Renderer::Vertex) == kStride);


// The render states the windows draw with; the game's values are put back afterwards.
constexpr std::pair<RenderState, uint32_t> kStates[] = {
    {RenderState::ZEnable, 0},
    {RenderState::ZWriteEnable, 0},
    {RenderState::FillMode, render::FillMode::Solid},
    {RenderState::ShadeMode, render::ShadeMode::Gouraud},
    {RenderState::AlphaTestEnable, 0},
    {RenderState::AlphaBlendEnable, 1},
    {RenderState::SrcBlend, render::Blend::SrcAlpha},
    {RenderState::DestBlend, render::Blend::InvSrcAlpha},
    {RenderState::BlendOp, render::BlendOperation::Add},
    {RenderState::CullMode, render::Cull::None},
    {RenderState::FogEnable, 0},
    {RenderState::Lighting, 0},
    {RenderState::StencilEnable, 0},
    {RenderState::ColorWriteEnable, render::ColorWrite::All},
    {RenderState::ColorVertex, 1},
    {RenderState::ClipPlaneEnable, 0},
    {RenderState::VertexBlend, 0},
};
constexpr std::pair<StageState, uint32_t> kStage0[] = {
    {StageState::ColorOp, render::TextureOp::Modulate},
    {StageState::ColorArg1, render::TextureArg::Texture},
    {StageState::ColorArg2, render::TextureArg::Diffuse},
    {StageState::AlphaOp, render::TextureOp::Modulate},
    {StageState::AlphaArg1, render::TextureArg::Texture},
    {StageState::AlphaArg2, render::TextureArg::Diffuse},
    {StageState::TexCoordIndex, 0},
    {StageState::AddressU, render::TextureAddress::Wrap},
    {StageState::AddressV, render::TextureAddress::Wrap},
    {StageState::MagFilter, render::TextureFilter::Point},
    {StageState::MinFilter, render::TextureFilter::Point},
    {StageState::MipFilter, render::TextureFilter::None},
    {StageState::MipMapLodBias, 0},
    {StageState::MaxMipLevel, 0},
    {StageState::TextureTransformFlags, render::TextureTransform::Disable},
};

}  // namespace

Renderer::Renderer(render::Device& device) : device(device) {}

Renderer::~Renderer() = default;

bool Renderer::MakeFontTexture(Host& host)
{
    ImGui::SetCurrentContext(host.GetContext());
    unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    if (pixels == nullptr) return false;
    this->font = this->device.CreateTexture(width, height, 1, render::Format::A8R8G8B8);
    render::LockedRect locked;
    if (this->font == nullptr || !this->font->LockRect(0, nullptr, locked)) {
        SDL_Log("ui::Renderer: no %dx%d font texture", width, height);
        this->font.reset();
        return false;
    }
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = pixels + static_cast<size_t>(y) * width * 4;
        auto* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + static_cast<ptrdiff_t>(y) * locked.pitch);
        for (int x = 0; x < width; ++x) {
            out[x] = (uint32_t(in[x * 4 + 3]) << 24) | (uint32_t(in[x * 4]) << 16) |
                     (uint32_t(in[x * 4 + 1]) << 8) | uint32_t(in[x * 4 + 2]);
        }
    }
    this->font->UnlockRect(0);
    return true;
}

void Renderer::Convert(const ImDrawData& data)
{
    // Grows only: no allocation once the windows exist.
    if (this->vertices.size() < static_cast<size_t>(data.TotalVtxCount)) {
        this->vertices.resize(static_cast<size_t>(data.TotalVtxCount));
    }
    Vertex* out = this->vertices.data();
    for (int n = 0; n < data.CmdListsCount; ++n) {
        for (const ImDrawVert& v : data.CmdLists[n]->VtxBuffer) {
            *out++ = Vertex{v.pos.x, v.pos.y, 0.0f, v.col, v.uv.x, v.uv.y};
        }
    }
}

bool Renderer::Draw(Host& host)
{
    ImDrawData* data = host.GetDrawData();
    if (data == nullptr || data->TotalVtxCount == 0 || data->TotalIdxCount == 0) return true;
    if (this->font == nullptr && !this->MakeFontTexture(host)) return false;
    this->Convert(*data);

    render::Device& d = this->device;
    // Remember what the game set.
    uint32_t states[std::size(kStates)];
    uint32_t stage0[std::size(kStage0)];
    for (size_t i = 0; i < std::size(kStates); ++i) states[i] = d.GetRenderState(kStates[i].first);
    for (size_t i = 0; i < std::size(kStage0); ++i) stage0[i] = d.GetTextureStageState(0, kStage0[i].first);
    const uint32_t stage1Color = d.GetTextureStageState(1, StageState::ColorOp);
    const uint32_t stage1Alpha = d.GetTextureStageState(1, StageState::AlphaOp);
    render::Texture* texture0 = d.GetTexture(0);
    const render::Matrix world = d.GetTransform(render::TransformKind::World);
    const render::Matrix view = d.GetTransform(render::TransformKind::View);
    const render::Matrix projection = d.GetTransform(render::TransformKind::Projection);
    const render::Viewport viewport = d.GetViewport();
    render::Rect scissor;
    const bool hadScissor = d.GetScissorRect(scissor);

    for (const auto& [state, value] : kStates) d.SetRenderState(state, value);
    for (const auto& [state, value] : kStage0) d.SetTextureStageState(0, state, value);
    d.SetTextureStageState(1, StageState::ColorOp, render::TextureOp::Disable);
    d.SetTextureStageState(1, StageState::AlphaOp, render::TextureOp::Disable);
    const render::DisplayMode mode = d.GetDisplayMode();
    d.SetViewport(render::Viewport{0, 0, static_cast<int>(mode.width), static_cast<int>(mode.height), 0.0f, 1.0f});
    // Pixels (corner at 0,0, rows down) to clip space, with row vectors.
    const float w = data->DisplaySize.x;
    const float h = data->DisplaySize.y;
    const float l = data->DisplayPos.x;
    const float t = data->DisplayPos.y;
    const render::Matrix ortho = {2.0f / w, 0.0f, 0.0f, 0.0f,  0.0f, -2.0f / h, 0.0f, 0.0f,
                                  0.0f, 0.0f, 1.0f, 0.0f,  -1.0f - 2.0f * l / w, 1.0f + 2.0f * t / h, 0.0f, 1.0f};
    d.SetTransform(render::TransformKind::World, render::IdentityMatrix());
    d.SetTransform(render::TransformKind::View, render::IdentityMatrix());
    d.SetTransform(render::TransformKind::Projection, ortho);

    this->DrawLists(*data);

    d.SetScissorRect(hadScissor ? &scissor : nullptr);
    d.SetTexture(0, texture0);
    d.SetViewport(viewport);
    d.SetTransform(render::TransformKind::World, world);
    d.SetTransform(render::TransformKind::View, view);
    d.SetTransform(render::TransformKind::Projection, projection);
    d.SetTextureStageState(1, StageState::ColorOp, stage1Color);
    d.SetTextureStageState(1, StageState::AlphaOp, stage1Alpha);
    for (size_t i = 0; i < std::size(kStage0); ++i) d.SetTextureStageState(0, kStage0[i].first, stage0[i]);
    for (size_t i = 0; i < std::size(kStates); ++i) d.SetRenderState(kStates[i].first, states[i]);
    return true;
}

void Renderer::DrawLists(const ImDrawData& data)
{
    render::Device& d = this->device;
    const render::DisplayMode mode = d.GetDisplayMode();
    const int maxX = static_cast<int>(mode.width);
    const int maxY = static_cast<int>(mode.height);
    int listVertex = 0;
    render::Texture* bound = nullptr;
    bool anyBound = false;
    for (int n = 0; n < data.CmdListsCount; ++n) {
        const ImDrawList& list = *data.CmdLists[n];
        for (const ImDrawCmd& cmd : list.CmdBuffer) {
            if (cmd.UserCallback != nullptr) continue;
            if (cmd.ElemCount == 0) continue;
            render::Rect clip;
            clip.left = std::clamp(static_cast<int>(cmd.ClipRect.x - data.DisplayPos.x), 0, maxX);
            clip.top = std::clamp(static_cast<int>(cmd.ClipRect.y - data.DisplayPos.y), 0, maxY);
            clip.right = std::clamp(static_cast<int>(cmd.ClipRect.z - data.DisplayPos.x), 0, maxX);
            clip.bottom = std::clamp(static_cast<int>(cmd.ClipRect.w - data.DisplayPos.y), 0, maxY);
            if (clip.right <= clip.left || clip.bottom <= clip.top) continue;
            d.SetScissorRect(&clip);
            render::Texture* texture =
                cmd.TextureId == kFontTexture ? this->font.get() : static_cast<render::Texture*>(cmd.TextureId);
            if (!anyBound || texture != bound) {
                d.SetTexture(0, texture);
                bound = texture;
                anyBound = true;
            }
            // The vertices the command reaches: a software rasterizer transforms the whole
            // range a draw names.
            const ImDrawIdx* first = list.IdxBuffer.Data + cmd.IdxOffset;
            ImDrawIdx lowest = first[0];
            ImDrawIdx highest = first[0];
            for (unsigned i = 1; i < cmd.ElemCount; ++i) {
                lowest = std::min(lowest, first[i]);
                highest = std::max(highest, first[i]);
            }
            // Indices count from the command's vertex offset.
            const Vertex* base = this->vertices.data() + listVertex + cmd.VtxOffset;
            d.DrawIndexedUserPrimitives(render::PrimitiveType::TriangleList, lowest, highest - lowest + 1,
                                        static_cast<int>(cmd.ElemCount / 3), first, kFormat, base, kStride);
        }
        listVertex += list.VtxBuffer.Size;
    }
}

}  // namespace ui
