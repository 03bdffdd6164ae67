#include <gtest/gtest.h>

#include <functional>

#include "gfx/nD3D8PixelShader.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShaderDesc.h"
#include "gfx/nTexArray.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPool.h"
#include "tests/gfx/VertexTestServer.h"

namespace {

using bwtest::ColorNear;
using D = nPixelShaderDesc;

constexpr uint32_t Red = 0xFFFF0000u;

// Blank textures hold 4 bits a channel: test colours repeat their nibbles.
class PixelShaderTest : public VertexTestServer {
protected:
    void SetUp() override {
        VertexTestServer::SetUp();
        quad = gfx->NewVertexBuffer("quad", 0, N_VT_COORD | N_VT_RGBA | N_VT_UV0, 4);
        strip = gfx->NewIndexBuffer("strip");
        ASSERT_TRUE(quad && strip);
        strip->Begin(0, nIndexBuffer::TRIANGLESTRIP, 4);
        for (int i = 0; i < 4; ++i) strip->GetLockPtr()[i] = uint16_t(i);
        strip->End();
        shader = static_cast<nD3D8PixelShader*>(gfx->NewPixelShader("ps"));
        ASSERT_NE(shader, nullptr);
        shader->SetShaderDesc(&desc);
        desc.cullMode = D::CULL_NONE;
        desc.lightEnable = false;
        SetQuad(0xFFFFFFFFu);
    }

    // The whole screen, corners top-left, top-right, bottom-left, bottom-right,
    // texture coordinates 0..1 from the top left.
    void SetQuad(uint32_t color, bool clockwise = true) {
        ASSERT_TRUE(quad->Lock());
        const float xy[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
        const float uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
        for (int i = 0; i < 4; ++i) {
            const int k = clockwise ? i : (i == 1 ? 2 : i == 2 ? 1 : i);
            float* c = quad->GetCoordPtr() + i * quad->GetStride();
            c[0] = xy[k][0];
            c[1] = xy[k][1];
            c[2] = -0.5f;
            quad->GetColorPtr()[i * quad->GetStride()] = color;
            float* t = quad->GetUvPtr(0) + i * quad->GetStride();
            t[0] = uv[k][0];
            t[1] = uv[k][1];
        }
        quad->Unlock();
    }

    nTexture* MakeTexture(const char* name, int w, int h, const std::function<uint32_t(int, int)>& argb) {
        nTexture* tex = gfx->NewTexture(name);
        EXPECT_TRUE(tex->Create(w, h, true));
        int pitch = 0;
        EXPECT_NE(tex->Lock(0, 0, w, h, &pitch, nullptr), nullptr);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t c = argb(x, y);
                tex->SetPixel(x, y, int(c >> 16 & 0xFF), int(c >> 8 & 0xFF), int(c & 0xFF), int(c >> 24));
            }
        tex->Unlock();
        return tex;
    }

    void Stage(int s, uint32_t op, uint32_t a0, uint32_t a1 = 0, uint32_t a2 = 0, uint32_t scale = D::ONE) {
        desc.colorOp[s] = D::StageOp{op, a0, a1, a2, scale};
        desc.stages[s].minFilter = D::NEAREST;
        desc.stages[s].magFilter = D::NEAREST;
        if (desc.numStages < s + 1) desc.numStages = s + 1;
        desc.renderStatesChanged = true;
    }

    // Draws the quad in a frame of its own (background `clear`).
    void Draw(nTexArray* textures, uint32_t clear = Clear) {
        gfx->SetClearColor(float(clear >> 16 & 0xFF) / 255.0f, float(clear >> 8 & 0xFF) / 255.0f,
                           float(clear & 0xFF) / 255.0f, 1.0f);
        ASSERT_TRUE(BeginFrame());
        quad->GetPool()->Render(quad->GetRange(), strip, shader, textures);
        gfx->EndScene();
    }

    nVertexBuffer* quad = nullptr;
    nIndexBuffer* strip = nullptr;
    nD3D8PixelShader* shader = nullptr;
    nPixelShaderDesc desc;
    nTexArray textures;
};

TEST_F(PixelShaderTest, StageOperationsCombineTextureVertexAndConstant) {
    // mul tex prim: texel x vertex colour.
    textures.SetTexture(0, MakeTexture("solid", 4, 4, [](int, int) { return 0xFFC86432u; }));
    SetQuad(0xFF80FFFFu);
    Stage(0, D::MUL, D::TEX, D::PRIM);
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF646432u, 2));

    // ipol by the texture's alpha (0x44 after the 4-bit texture format).
    textures.SetTexture(0, MakeTexture("quarter", 4, 4, [](int, int) { return 0x44FF0000u; }));
    SetQuad(0xFF00FF00u);
    Stage(0, D::IPOL, D::TEX, D::PRIM, D::TEX);
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF44BB00u, 2));

    // The constant colour becomes the truncated texture factor, and "replace const" shows it.
    desc.constColor[0] = 1.0f;
    desc.constColor[1] = 0.5f;
    desc.constColor[2] = 0.0f;
    desc.constColor[3] = 1.0f;
    desc.constColorChanged = true;
    EXPECT_EQ(nD3D8PixelShader::PackColor(desc.constColor), 0xFFFF7F00u);
    Stage(0, D::REPLACE, D::CONST);
    Draw(&textures);
    EXPECT_EQ(gfx->GetDevice()->GetRenderState(render::RenderState::TextureFactor), 0xFFFF7F00u);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFFFF7F00u, 2));

    // Inverted argument: 1 - texel.
    Stage(0, D::REPLACE, D::TEX | D::INV);
    textures.SetTexture(0, MakeTexture("dim", 4, 4, [](int, int) { return 0xFF224466u; }));
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFFDDBB99u, 2));

    // add and mul x2 of texel and vertex colour, saturating.
    SetQuad(0xFF404040u);
    Stage(0, D::ADD, D::TEX, D::PRIM);
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF6284A6u, 2));
    Stage(0, D::MUL, D::TEX, D::PRIM, 0, D::TWO);
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF112233u, 2));

    // A second stage reads the first: (texel x vertex) + const.
    desc.numStages = 0;
    Stage(0, D::MUL, D::TEX, D::PRIM);
    Stage(1, D::ADD, D::PREV, D::CONST);
    desc.constColor[0] = 0.0f;
    desc.constColor[1] = 0.0f;
    desc.constColor[2] = 0.25f;
    desc.constColorChanged = true;
    textures.SetTexture(1, textures.GetTexture(0));
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF091159u, 2));
    ASSERT_FALSE(TakeErrors());
}

TEST_F(PixelShaderTest, ZeroStagesOrNoDescriptionDrawTheVertexColour) {
    SetQuad(0xFF00FF00u);
    Draw(&textures);
    EXPECT_EQ(shader->GetNumPasses(), 1);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF00FF00u, 2));

    // Stages whose texture slot is empty draw without texture; codes outside the
    // tables take their fallbacks.
    Stage(0, D::MUL, D::TEX, D::PRIM);
    Stage(1, 99, 77, 66);
    desc.stages[0].addressU = 1234;
    desc.stages[0].texCoordSrc = 5;
    desc.zFunc = 3;
    desc.srcBlend = 100;
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF00FF00u, 2));

    shader->SetShaderDesc(nullptr);
    Draw(nullptr);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF00FF00u, 2));
    ASSERT_FALSE(TakeErrors());
}

TEST_F(PixelShaderTest, BlendingAlphaTestAndCulling) {
    // srcalpha / invsrcalpha over red.
    SetQuad(0x8000FF00u);
    desc.alphaEnable = true;
    desc.renderStatesChanged = true;
    Draw(&textures, Red);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF7F8000u, 2));

    // Alpha reference 0.5 keeps texels above 127: the left half (alpha 100) is dropped.
    desc.alphaEnable = false;
    desc.alphaTestEnable = true;
    desc.alphaRef = 0.5f;
    SetQuad(0xFFFFFFFFu);
    textures.SetTexture(0, MakeTexture("halves", 2, 1, [](int x, int) { return x == 0 ? 0x64FFFFFFu : 0x9CFFFFFFu; }));
    Stage(0, D::REPLACE, D::TEX);
    Draw(&textures, Red);
    EXPECT_EQ(gfx->GetDevice()->GetRenderState(render::RenderState::AlphaRef), 127u);
    EXPECT_TRUE(ColorNear(Presented(16, 32), Red, 2));
    EXPECT_TRUE(ColorNear(Presented(48, 32), 0xFFFFFFFFu, 2));

    // Cull "ccw" keeps one winding, "cw" the other.
    desc.alphaTestEnable = false;
    desc.numStages = 0;
    desc.renderStatesChanged = true;
    desc.cullMode = D::CULL_CCW;
    SetQuad(0xFF00FF00u, true);
    Draw(&textures);
    const uint32_t ccwClockwise = Presented(32, 32);
    SetQuad(0xFF00FF00u, false);
    Draw(&textures);
    const uint32_t ccwCounter = Presented(32, 32);
    EXPECT_NE(ColorNear(ccwClockwise, Clear, 2), ColorNear(ccwCounter, Clear, 2));
    desc.cullMode = D::CULL_CW;
    desc.renderStatesChanged = true;
    Draw(&textures);
    EXPECT_EQ(gfx->GetDevice()->GetRenderState(render::RenderState::CullMode), render::Cull::Ccw);
    EXPECT_EQ(ColorNear(Presented(32, 32), Clear, 2), ColorNear(ccwClockwise, Clear, 2));
    ASSERT_FALSE(TakeErrors());
}

TEST_F(PixelShaderTest, AStageTransformShiftsTheTexture) {
    // Left half black, right half white; u + 0.5 swaps them.
    textures.SetTexture(0, MakeTexture("checker", 2, 1, [](int x, int) { return x == 0 ? 0xFF000000u : 0xFFFFFFFFu; }));
    Stage(0, D::REPLACE, D::TEX);
    desc.stages[0].addressU = D::WRAP;
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(16, 32), 0xFF000000u, 2));
    EXPECT_TRUE(ColorNear(Presented(48, 32), 0xFFFFFFFFu, 2));

    desc.stages[0].enableTransform = true;
    desc.stages[0].translate = vector3(0.5f, 0.0f, 0.0f);
    desc.stages[0].matrixChanged = true;
    desc.transformChanged = true;
    desc.renderStatesChanged = true;
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(16, 32), 0xFFFFFFFFu, 2));
    EXPECT_TRUE(ColorNear(Presented(48, 32), 0xFF000000u, 2));

    // The device takes the translation from row 2.
    matrix44 m;
    m.m[3][0] = 0.5f;
    m.m[3][1] = 0.25f;
    const matrix44 t = nD3D8PixelShader::TextureMatrix2D(m);
    EXPECT_FLOAT_EQ(t.m[2][0], 0.5f);
    EXPECT_FLOAT_EQ(t.m[2][1], 0.25f);
    EXPECT_FLOAT_EQ(t.m[3][0], 0.0f);
    EXPECT_FLOAT_EQ(t.m[2][2], 1.0f);
    ASSERT_FALSE(TakeErrors());
}

TEST_F(PixelShaderTest, StagesBeyondTheDeviceDrawInBlendedPasses) {
    gfx->OverrideMaxSimultaneousTextures(2);
    auto solid = [this](const char* name, uint32_t c) { return MakeTexture(name, 2, 2, [c](int, int) { return c; }); };
    textures.SetTexture(0, solid("a", 0xFFFFFF80u));
    textures.SetTexture(1, solid("b", 0xFF80FFFFu));
    textures.SetTexture(2, solid("c", 0xFFFF80FFu));
    Stage(0, D::REPLACE, D::TEX);
    Stage(1, D::MUL, D::TEX, D::PREV);
    Stage(2, D::MUL, D::TEX, D::PREV);
    Draw(&textures);
    EXPECT_EQ(shader->GetNumPasses(), 2);
    EXPECT_NE(shader->GetStateBlock(1), 0u);
    // (a x b) then multiplied by c through the frame-buffer blend.
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF888888u, 3));
    // The later pass's depth states are restored.
    EXPECT_EQ(gfx->GetDevice()->GetRenderState(render::RenderState::ZBias), 0u);
    EXPECT_EQ(gfx->GetDevice()->GetRenderState(render::RenderState::ZWriteEnable), 1u);

    // An added later stage blends one to one.
    Stage(2, D::ADD, D::TEX, D::PREV);
    Draw(&textures);
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFFFFFFFFu, 3));
    ASSERT_FALSE(TakeErrors());
}

TEST_F(PixelShaderTest, ASinglePassShaderDrawnAgainSkipsItsBlockButBindsNewTextures) {
    nTexture* first = MakeTexture("first", 2, 2, [](int, int) { return 0xFFFF0000u; });
    nTexture* second = MakeTexture("second", 2, 2, [](int, int) { return 0xFF00FF00u; });
    Stage(0, D::REPLACE, D::TEX);
    textures.SetTexture(0, first);
    ASSERT_TRUE(BeginFrame());
    render::Device* dev = gfx->GetDevice();
    quad->GetPool()->Render(quad->GetRange(), strip, shader, &textures);
    EXPECT_EQ(gfx->GetLastPixelShader(), shader);
    EXPECT_EQ(first->GetBindCount(), 1);
    // Something changes a state the block holds; the shader's second draw keeps it.
    dev->SetRenderState(render::RenderState::AlphaTestEnable, 1);
    dev->SetRenderState(render::RenderState::AlphaRef, 0);
    textures.SetTexture(0, second);
    quad->GetPool()->Render(quad->GetRange(), strip, shader, &textures);
    EXPECT_EQ(dev->GetRenderState(render::RenderState::AlphaTestEnable), 1u);
    EXPECT_EQ(second->GetBindCount(), 1);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF00FF00u, 2));

    // After another shader, everything is applied again.
    nD3D8PixelShader* other = static_cast<nD3D8PixelShader*>(gfx->NewPixelShader("other"));
    nPixelShaderDesc otherDesc;
    other->SetShaderDesc(&otherDesc);
    ASSERT_TRUE(BeginFrame());
    quad->GetPool()->Render(quad->GetRange(), strip, other, nullptr);
    dev->SetRenderState(render::RenderState::AlphaTestEnable, 1);
    quad->GetPool()->Render(quad->GetRange(), strip, shader, &textures);
    EXPECT_EQ(dev->GetRenderState(render::RenderState::AlphaTestEnable), 0u);
    gfx->EndScene();
    ASSERT_FALSE(TakeErrors());
}

}  // namespace

namespace {

TEST_F(PixelShaderTest, TheRemainingOperationsFollowTheirFormulas) {
    // Texel (0x88, 0x44, 0xCC, alpha 0x44), vertex colour (0x40, 0x80, 0xC0, alpha 0xFF).
    textures.SetTexture(0, MakeTexture("t", 4, 4, [](int, int) { return 0x448844CCu; }));
    textures.SetTexture(1, textures.GetTexture(0));
    SetQuad(0xFF4080C0u);
    auto expect = [this](uint32_t want) {
        Draw(&textures);
        EXPECT_TRUE(ColorNear(Presented(32, 32), want, 2));
    };
    // adds: t + p - 0.5, and twice that.
    Stage(0, D::ADDS, D::TEX, D::PRIM);
    expect(0xFF4844FFu);
    Stage(0, D::ADDS, D::TEX, D::PRIM, 0, D::TWO);
    expect(0xFF9088FFu);
    // mul x4 saturates.
    Stage(0, D::MUL, D::TEX, D::PRIM, 0, D::FOUR);
    expect(0xFF8888FFu);
    // ipol by the previous stage's alpha (the vertex alpha 1 after stage 0 replaced it).
    desc.numStages = 0;
    Stage(0, D::REPLACE, D::PRIM);
    Stage(1, D::IPOL, D::TEX, D::CONST, D::PREV);
    expect(0xFF8844CCu);
    // ipol by the constant's alpha: half texel, half constant (black).
    desc.constColor[3] = 0.5f;
    desc.constColorChanged = true;
    desc.numStages = 0;
    Stage(0, D::IPOL, D::TEX, D::CONST, D::CONST);
    expect(0xFF442266u);
    // An alpha "nop" takes the colour operation: alpha = texel alpha x vertex alpha, seen
    // through blending over the background.
    desc.numStages = 0;
    desc.alphaEnable = true;
    Stage(0, D::MUL, D::TEX, D::PREV);
    desc.alphaOp[0] = D::StageOp{};
    Draw(&textures, 0xFF000000u);
    // colour (0x22, 0x22, 0x99) at alpha 0x44 over black.
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF09092Au, 2));
    ASSERT_FALSE(TakeErrors());
}

}  // namespace
