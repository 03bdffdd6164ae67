#include "platform/render/Device.h"
#include "platform/render/GlDebug.h"
#include "platform/render/GlHeaders.h"
#include "platform/render/RenderSystem.h"
#include "platform/window/Window.h"
#include "tests/platform/SdlTestEnvironment.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace render;

const auto* const kVideo = ::testing::AddGlobalTestEnvironment(new bwtest::SdlVideoEnvironment);
using bwtest::ColorNear;

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t color;
};
constexpr unsigned kScreenFormat = kVertexPositionRhw | kVertexDiffuse;

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
};
constexpr unsigned kLitFormat = kVertexPosition | kVertexNormal;

// A unit square facing the viewer (normals towards -z), clockwise on screen.
const LitVertex kSquare[6] = {
    {-0.5f, 0.5f, 0, 0, 0, -1}, {0.5f, 0.5f, 0, 0, 0, -1},  {0.5f, -0.5f, 0, 0, 0, -1},
    {-0.5f, 0.5f, 0, 0, 0, -1}, {0.5f, -0.5f, 0, 0, 0, -1}, {-0.5f, -0.5f, 0, 0, 0, -1},
};

// Run twice: on a window made tiny (the device draws into buffers of its own and copies
// each frame into the window) and on a window made at each device's size and depth
// format (the device draws straight into the window's buffer).
class DeviceTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        this->win = window::Window::Open("Brinewick");
        ASSERT_NE(this->win, nullptr);
        this->system = RenderSystem::Open();
        ASSERT_NE(this->system, nullptr);
    }

    void TearDown() override
    {
        this->device.reset();
        this->system.reset();
        this->win.reset();
    }

    static PresentParameters Parameters(int w, int h, Format format = Format::X8R8G8B8,
                                        Format depth = Format::D16, bool windowed = true)
    {
        PresentParameters p;
        p.backBufferWidth = w;
        p.backBufferHeight = h;
        p.backBufferFormat = format;
        p.depthStencilFormat = depth;
        p.windowed = windowed;
        p.waitForVerticalSync = false;
        return p;
    }

    bool Open(const PresentParameters& parameters)
    {
        if (GetParam() && this->device == nullptr) {
            this->win = window::Window::Open("Brinewick", parameters.backBufferWidth,
                                             parameters.backBufferHeight,
                                             DepthBits(parameters.depthStencilFormat),
                                             StencilBits(parameters.depthStencilFormat));
            if (this->win == nullptr) return false;
        }
        this->device = this->system->OpenDevice(0, DeviceType::Hardware, *this->win,
                                                VertexProcessing::Hardware, parameters);
        if (this->device != nullptr && parameters.windowed) {
            this->win->Place(0, 0, parameters.backBufferWidth, parameters.backBufferHeight);
        }
        if (this->device != nullptr) {
            // A buffer with alpha never matches the window's (made without).
            EXPECT_EQ(this->device->IsDrawingIntoWindow(),
                      GetParam() && parameters.backBufferFormat != Format::A8R8G8B8);
        }
        return this->device != nullptr;
    }

    uint32_t Presented(int x, int y) { return bwtest::Presented(*this->device, x, y); }

    // Begins a frame cleared to `color`.
    void BeginCleared(uint32_t color, unsigned flags = kClearTarget | kClearDepth)
    {
        ASSERT_TRUE(this->device->BeginScene());
        ASSERT_TRUE(this->device->Clear(flags, color, 1.0f, 0));
    }

    void EndAndPresent()
    {
        ASSERT_TRUE(this->device->EndScene());
        ASSERT_TRUE(this->device->Present());
    }

    void DrawSquare()
    {
        ASSERT_TRUE(this->device->DrawUserPrimitives(PrimitiveType::TriangleList, 2, kLitFormat, kSquare,
                                                     sizeof(LitVertex)));
    }

    // A perspective projection with depth 0..1 and 90 degrees of view.
    static Matrix Perspective(float n, float f)
    {
        Matrix projection{};
        projection[0] = 1.0f;
        projection[5] = 1.0f;
        projection[10] = f / (f - n);
        projection[11] = 1.0f;
        projection[14] = -n * f / (f - n);
        return projection;
    }

    void DrawScreenQuad(float x0, float y0, float x1, float y1, uint32_t color, float z = 0.5f)
    {
        // Clockwise on screen, as front faces are by default.
        const ScreenVertex quad[6] = {
            {x0, y0, z, 1.0f, color}, {x1, y0, z, 1.0f, color}, {x1, y1, z, 1.0f, color},
            {x0, y0, z, 1.0f, color}, {x1, y1, z, 1.0f, color}, {x0, y1, z, 1.0f, color},
        };
        ASSERT_TRUE(this->device->DrawUserPrimitives(PrimitiveType::TriangleList, 2, kScreenFormat,
                                                     quad, sizeof(ScreenVertex)));
    }

    std::unique_ptr<window::Window> win;
    std::unique_ptr<RenderSystem> system;
    std::unique_ptr<Device> device;
};

TEST_P(DeviceTest, AdaptersListCommonModesAndTheChecksTheServerMakes)
{
    // The listed modes themselves are checked through the display server's mode tree.
    ASSERT_GE(this->system->GetAdapterCount(), 1);
    EXPECT_FALSE(this->system->GetAdapter(0)->driverName.empty());
    DisplayMode mode;
    EXPECT_FALSE(this->system->GetMode(0, -1, mode));

    const Format x8 = Format::X8R8G8B8;
    EXPECT_FALSE(this->system->SupportsDeviceType(0, DeviceType::Software, x8, x8, false));
    EXPECT_TRUE(this->system->SupportsTextureFormat(0, DeviceType::Hardware, x8, Format::A4R4G4B4));
    EXPECT_TRUE(this->system->DepthFormatMatches(0, DeviceType::Hardware, x8, x8, Format::D24S8));
    EXPECT_FALSE(this->system->SupportsDepthFormat(0, DeviceType::Hardware, x8, Format::D15S1));

    Caps caps;
    ASSERT_TRUE(this->system->GetCaps(0, DeviceType::Hardware, caps));
    EXPECT_GE(caps.maxSimultaneousTextures, 2);
    EXPECT_FALSE(this->system->GetCaps(0, DeviceType::Software, caps));

    this->system->OverrideAdapters({});
    EXPECT_EQ(this->system->GetAdapterCount(), 0);
    EXPECT_EQ(this->system->OpenDevice(0, DeviceType::Hardware, *this->win,
                                       VertexProcessing::Hardware, Parameters(64, 64)),
              nullptr);
}

TEST_P(DeviceTest, ClearedFramesReadBackInAWindowAndFullScreen)
{
    const struct {
        bool windowed;
        Format depth;
        int stencilBits;
        uint32_t color;
    } cases[] = {{true, Format::D16, 0, kRed}, {false, Format::D24S8, 8, kGreen}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windowed ? "windowed" : "full screen");
        ASSERT_TRUE(this->Open(Parameters(800, 600, Format::X8R8G8B8, c.depth, c.windowed)));
        EXPECT_EQ(this->device->GetStencilBits(), c.stencilBits);
        EXPECT_EQ(this->win->IsFullScreen(), !c.windowed);
        int w = 0;
        int h = 0;
        this->win->GetClientSize(w, h);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(800, 600));

        this->BeginCleared(c.color);
        // Without a stencil buffer, asking to clear it fails, nothing else.
        EXPECT_EQ(this->device->Clear(kClearStencil, kBlue, 1.0f, 0), c.stencilBits > 0);
        this->EndAndPresent();
        EXPECT_TRUE(ColorNear(this->Presented(0, 0), c.color));
        EXPECT_TRUE(ColorNear(this->Presented(10, 590), c.color));
        EXPECT_TRUE(ColorNear(this->Presented(799, 599), c.color));
        EXPECT_FALSE(this->device->EndScene());
        this->device.reset();
        EXPECT_FALSE(this->win->IsFullScreen());
    }
}

TEST_P(DeviceTest, FramesWithoutAClearKeepColourAndDepthAcrossFrontBufferReads)
{
    ASSERT_TRUE(this->Open(Parameters(64, 48)));
    this->BeginCleared(kRed);
    this->DrawScreenQuad(8, 8, 24, 24, kBlue);
    this->EndAndPresent();

    ASSERT_TRUE(this->device->BeginScene());
    this->DrawScreenQuad(40, 8, 56, 24, kGreen);
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(16, 16), kBlue));
    EXPECT_TRUE(ColorNear(this->Presented(48, 16), kGreen));
    EXPECT_TRUE(ColorNear(this->Presented(4, 40), kRed));

    // After the read: a quad behind the blue one shows only around it, so the depth
    // drawn two frames ago is still there.
    ASSERT_TRUE(this->device->BeginScene());
    this->DrawScreenQuad(0, 0, 32, 32, 0xFFFFFF00u, 0.7f);
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(16, 16), kBlue));
    EXPECT_TRUE(ColorNear(this->Presented(4, 4), 0xFFFFFF00u));
    EXPECT_TRUE(ColorNear(this->Presented(48, 16), kGreen));
    EXPECT_TRUE(ColorNear(this->Presented(4, 40), kRed));

    // A lock reads and writes the frame being drawn, not the presented one.
    ASSERT_TRUE(this->device->BeginScene());
    this->DrawScreenQuad(40, 30, 56, 46, kBlue);
    LockedRect locked;
    ASSERT_TRUE(this->device->LockBackBuffer(Rect{48, 38, 50, 40}, locked));
    EXPECT_TRUE(ColorNear(static_cast<const uint32_t*>(locked.bits)[0], kBlue));
    static_cast<uint32_t*>(locked.bits)[0] = kGreen;
    ASSERT_TRUE(this->device->UnlockBackBuffer());
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(48, 38), kGreen));
    EXPECT_TRUE(ColorNear(this->Presented(49, 38), kBlue));
}

TEST_P(DeviceTest, TheFrontBufferReadMidFrameFailsOnlyWhileFramesGoIntoTheWindow)
{
    const bool intoWindow = GetParam();
    ASSERT_TRUE(this->Open(Parameters(64, 48)));
    this->BeginCleared(kRed);
    this->EndAndPresent();
    this->BeginCleared(kGreen);
    std::vector<uint32_t> pixels;
    int w = 0;
    int h = 0;
    // The window's buffer holds the half-drawn frame: no picture rather than a wrong one.
    EXPECT_EQ(this->device->CopyFrontBuffer(pixels, w, h), !intoWindow);
    if (!intoWindow) {
        EXPECT_TRUE(ColorNear(pixels[0] | 0xFF000000u, kRed));
    }
    this->EndAndPresent();
    // From that present on the presented frame is kept, whenever it is asked for.
    EXPECT_FALSE(this->device->IsDrawingIntoWindow());
    this->BeginCleared(kBlue);
    EXPECT_TRUE(ColorNear(this->Presented(10, 10), kGreen));
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(10, 10), kBlue));

    // A reset looks at the window again.
    ASSERT_TRUE(this->device->Reset(Parameters(64, 48)));
    EXPECT_EQ(this->device->IsDrawingIntoWindow(), intoWindow);
    EXPECT_TRUE(ColorNear(this->Presented(10, 10), 0xFF000000u));
}

TEST_P(DeviceTest, LockedBackBufferPatternComesBackUpright)
{
    ASSERT_TRUE(this->Open(Parameters(320, 240)));
    ASSERT_TRUE(this->device->Clear(kClearTarget, kBlue, 1.0f, 0));

    LockedRect locked;
    ASSERT_TRUE(this->device->LockBackBuffer(Rect{0, 0, 320, 240}, locked));
    EXPECT_EQ(locked.format, Format::X8R8G8B8);
    EXPECT_EQ(locked.pitch, 320 * 4);
    EXPECT_TRUE(ColorNear(static_cast<const uint32_t*>(locked.bits)[0], kBlue));
    EXPECT_FALSE(this->device->LockBackBuffer(Rect{0, 0, 1, 1}, locked));  // already locked
    // Top half red, bottom half green.
    for (int y = 0; y < 240; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
        std::fill(row, row + 320, y < 120 ? kRed : kGreen);
    }
    EXPECT_FALSE(this->device->Present());  // not while locked
    ASSERT_TRUE(this->device->UnlockBackBuffer());
    EXPECT_FALSE(this->device->UnlockBackBuffer());
    ASSERT_TRUE(this->device->Present());

    EXPECT_TRUE(ColorNear(this->Presented(160, 60), kRed));
    EXPECT_TRUE(ColorNear(this->Presented(160, 200), kGreen));

    // A rectangle reaching outside is clipped; one wholly outside fails.
    ASSERT_TRUE(this->device->LockBackBuffer(Rect{300, 230, 400, 300}, locked));
    EXPECT_EQ(locked.rect.right, 320);
    EXPECT_EQ(locked.rect.bottom, 240);
    EXPECT_EQ(locked.pitch, 20 * 4);
    EXPECT_TRUE(ColorNear(static_cast<const uint32_t*>(locked.bits)[0], kGreen));
    ASSERT_TRUE(this->device->UnlockBackBuffer());
    EXPECT_FALSE(this->device->LockBackBuffer(Rect{400, 0, 500, 10}, locked));

    // An odd number of rows, each its own colour, lands in its own row (the middle
    // one too), and nothing outside the rectangle changes.
    ASSERT_TRUE(this->device->LockBackBuffer(Rect{10, 100, 14, 103}, locked));
    const uint32_t rows[3] = {kRed, kBlue, kRed | kBlue};
    for (int y = 0; y < 3; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
        std::fill(row, row + 4, rows[y]);
    }
    ASSERT_TRUE(this->device->UnlockBackBuffer());
    ASSERT_TRUE(this->device->Present());
    for (int y = 0; y < 3; ++y) {
        EXPECT_TRUE(ColorNear(this->Presented(12, 100 + y), rows[y])) << "row " << y;
    }
    EXPECT_TRUE(ColorNear(this->Presented(12, 99), kRed));
    EXPECT_TRUE(ColorNear(this->Presented(12, 103), kRed));
    EXPECT_TRUE(ColorNear(this->Presented(14, 101), kRed));
}

TEST_P(DeviceTest, LockedPixelsComeBackByteForByte)
{
    // Every byte of every word keeps its place through an unlock and the next lock,
    // at a width that is no multiple of four, whether or not the lock kept the contents.
    for (const Format format : {Format::X8R8G8B8, Format::A8R8G8B8}) {
        SCOPED_TRACE(static_cast<int>(format));
        this->device.reset();
        ASSERT_TRUE(this->Open(Parameters(64, 48, format)));
        const uint32_t noAlpha = format == Format::X8R8G8B8 ? 0xFF000000u : 0u;
        for (const bool keepContents : {true, false}) {
            const Rect rect{5, 9, 12, 12};
            auto word = [&](int x, int y) {
                return 0x10203040u + 0x01030507u * static_cast<uint32_t>(x + 7 * y + keepContents);
            };
            LockedRect locked;
            ASSERT_TRUE(this->device->LockBackBuffer(rect, locked, keepContents));
            for (int y = 0; y < 3; ++y) {
                auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
                for (int x = 0; x < 7; ++x) row[x] = word(x, y);
            }
            ASSERT_TRUE(this->device->UnlockBackBuffer());
            ASSERT_TRUE(this->device->LockBackBuffer(Rect{4, 8, 13, 13}, locked));
            for (int y = 0; y < 5; ++y) {
                const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.bits) + y * locked.pitch);
                for (int x = 0; x < 9; ++x) {
                    const bool inside = x >= 1 && x <= 7 && y >= 1 && y <= 3;
                    // Around the rectangle the cleared black stays.
                    const uint32_t expected = inside ? word(x - 1, y - 1) | noAlpha : 0xFF000000u;
                    EXPECT_EQ(inside ? row[x] : row[x] | 0xFF000000u, expected) << x << "," << y;
                }
            }
            ASSERT_TRUE(this->device->UnlockBackBuffer());
        }
    }
}

TEST_P(DeviceTest, ClearIgnoresWriteMasksThatDrawingObeys)
{
    ASSERT_TRUE(this->Open(Parameters(64, 64)));
    this->BeginCleared(kBlue, kClearTarget);
    this->device->SetRenderState(RenderState::ColorWriteEnable, 0);
    this->DrawScreenQuad(0, 0, 64, 64, kRed);  // masked away
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(32, 32), kBlue));
    // That a clear ignores the colour mask is read back through the display server.

    // Depth: with writes off, a clear still resets it to the far plane, so a
    // quad at middle depth passes the test afterwards.
    this->device->SetRenderState(RenderState::ColorWriteEnable, ColorWrite::All);
    this->device->SetRenderState(RenderState::ZWriteEnable, 0);
    ASSERT_TRUE(this->device->BeginScene());
    ASSERT_TRUE(this->device->Clear(kClearTarget | kClearDepth, kBlue, 0.0f, 0));
    this->DrawScreenQuad(0, 0, 64, 64, kRed);  // fails the depth test against 0
    ASSERT_TRUE(this->device->Clear(kClearDepth, 0, 1.0f, 0));
    this->DrawScreenQuad(0, 0, 32, 64, kGreen);
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(16, 32), kGreen));
    EXPECT_TRUE(ColorNear(this->Presented(48, 32), kBlue));
}

TEST_P(DeviceTest, StencilMasksWhatIsDrawn)
{
    ASSERT_TRUE(this->Open(Parameters(64, 64, Format::X8R8G8B8, Format::D24S8)));
    this->BeginCleared(kBlue, kClearTarget | kClearDepth | kClearStencil);
    // Mark the left half in the stencil buffer without touching colour.
    this->device->SetRenderState(RenderState::StencilEnable, 1);
    this->device->SetRenderState(RenderState::StencilFunc, Compare::Always);
    this->device->SetRenderState(RenderState::StencilRef, 1);
    this->device->SetRenderState(RenderState::StencilPass, StencilOperation::Replace);
    this->device->SetRenderState(RenderState::ColorWriteEnable, 0);
    this->DrawScreenQuad(0, 0, 32, 64, kRed);
    // Then draw everywhere where the mark is.
    this->device->SetRenderState(RenderState::ColorWriteEnable, ColorWrite::All);
    this->device->SetRenderState(RenderState::StencilFunc, Compare::Equal);
    this->device->SetRenderState(RenderState::StencilPass, StencilOperation::Keep);
    this->DrawScreenQuad(0, 0, 64, 64, kRed);
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(10, 10), kRed));
    EXPECT_TRUE(ColorNear(this->Presented(54, 54), kBlue));
}

TEST_P(DeviceTest, TransformsLightsAndCullingFollowTheRowVectorConventions)
{
    ASSERT_TRUE(this->Open(Parameters(64, 64)));
    ASSERT_TRUE(this->device->SetTransform(TransformKind::Projection, Perspective(1.0f, 100.0f)));
    Matrix world = IdentityMatrix();
    world[12] = 0.5f;  // moved right by the translation row
    world[14] = 5.0f;
    ASSERT_TRUE(this->device->SetTransform(TransformKind::World, world));

    Material material;
    material.diffuse = Color4{0.0f, 1.0f, 0.0f, 1.0f};
    this->device->SetMaterial(material);
    Light light;
    light.type = LightType::Directional;
    light.diffuse = Color4{1.0f, 1.0f, 1.0f, 1.0f};
    light.direction[2] = 1.0f;  // shining along +z, onto the square
    ASSERT_TRUE(this->device->SetLight(0, light));
    ASSERT_TRUE(this->device->EnableLight(0, true));
    EXPECT_FALSE(this->device->SetLight(8, light));

    this->BeginCleared(kBlue);
    this->DrawSquare();
    this->EndAndPresent();
    // The square spans x 0..1, y -0.5..0.5 at depth 5: screen x 32..38, y 29..35.
    EXPECT_TRUE(ColorNear(this->Presented(35, 32), kGreen, 8));
    EXPECT_TRUE(ColorNear(this->Presented(28, 32), kBlue));

    // Culling clockwise triangles removes the square; with the light off it is black.
    this->device->SetRenderState(RenderState::CullMode, Cull::Cw);
    this->BeginCleared(kBlue);
    this->DrawSquare();
    this->device->SetRenderState(RenderState::CullMode, Cull::None);
    this->device->EnableLight(0, false);
    world[12] = -1.5f;
    this->device->SetTransform(TransformKind::World, world);
    this->DrawSquare();
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(35, 32), kBlue));
    // Moved to x -2..-1: screen x 19..25, unlit.
    EXPECT_TRUE(ColorNear(this->Presented(22, 32), 0xFF000000u));
}

TEST_P(DeviceTest, ViewportCountsFromTheTopAndBlendingMixesColours)
{
    ASSERT_TRUE(this->Open(Parameters(64, 64)));
    struct ColorVertex {
        float x, y, z;
        uint32_t color;
    };
    const uint32_t halfRed = 0x80FF0000u;
    // Covers the whole viewport with identity transforms.
    const ColorVertex quad[6] = {
        {-1, 1, 0.5f, halfRed}, {1, 1, 0.5f, halfRed},  {1, -1, 0.5f, halfRed},
        {-1, 1, 0.5f, halfRed}, {1, -1, 0.5f, halfRed}, {-1, -1, 0.5f, halfRed},
    };
    this->device->SetRenderState(RenderState::Lighting, 0);
    this->device->SetRenderState(RenderState::AlphaBlendEnable, 1);
    this->device->SetRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
    this->device->SetRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
    this->BeginCleared(kBlue);
    ASSERT_TRUE(this->device->SetViewport(Viewport{0, 0, 32, 32, 0.0f, 1.0f}));
    ASSERT_TRUE(this->device->DrawUserPrimitives(PrimitiveType::TriangleList, 2,
                                                 kVertexPosition | kVertexDiffuse, quad,
                                                 sizeof(ColorVertex)));
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(16, 16), 0xFF80007Fu, 4));
    EXPECT_TRUE(ColorNear(this->Presented(16, 48), kBlue));
    EXPECT_TRUE(ColorNear(this->Presented(48, 16), kBlue));
}

TEST_P(DeviceTest, LinearFogBlendsByViewDistance)
{
    ASSERT_TRUE(this->Open(Parameters(64, 64)));
    this->device->SetTransform(TransformKind::Projection, Perspective(1.0f, 100.0f));
    Matrix world = IdentityMatrix();
    world[14] = 5.0f;
    this->device->SetTransform(TransformKind::World, world);
    this->device->SetRenderState(RenderState::Lighting, 0);
    this->device->SetRenderState(RenderState::FogEnable, 1);
    this->device->SetRenderState(RenderState::FogVertexMode, FogMode::Linear);
    this->device->SetRenderState(RenderState::FogColor, kRed);
    this->device->SetRenderState(RenderState::FogStart, FloatBits(0.0f));
    this->device->SetRenderState(RenderState::FogEnd, FloatBits(10.0f));
    this->BeginCleared(kBlue);
    this->DrawSquare();
    this->EndAndPresent();
    // Halfway between start and end: half white, half fog colour.
    EXPECT_TRUE(ColorNear(this->Presented(32, 32), 0xFFFF8080u, 6));
}

TEST_P(DeviceTest, StateBlocksRecordApplyAndCapture)
{
    ASSERT_TRUE(this->Open(Parameters(64, 64)));
    Matrix moved = IdentityMatrix();
    moved[12] = 3.0f;

    ASSERT_TRUE(this->device->BeginStateBlock());
    EXPECT_FALSE(this->device->BeginStateBlock());
    this->device->SetRenderState(RenderState::FogEnable, 1);
    this->device->SetRenderState(RenderState::CullMode, Cull::None);
    this->device->SetTextureStageState(1, StageState::ColorOp, TextureOp::Add);
    this->device->SetTransform(TransformKind::World, moved);
    this->device->EnableLight(2, true);
    const uint32_t block = this->device->EndStateBlock();
    ASSERT_NE(block, 0u);
    EXPECT_EQ(this->device->EndStateBlock(), 0u);

    // Recording changed nothing on the device.
    EXPECT_EQ(this->device->GetRenderState(RenderState::CullMode), Cull::Ccw);
    EXPECT_FALSE(this->device->IsLightEnabled(2));

    ASSERT_TRUE(this->device->ApplyStateBlock(block));
    EXPECT_EQ(this->device->GetRenderState(RenderState::FogEnable), 1u);
    EXPECT_EQ(this->device->GetRenderState(RenderState::CullMode), Cull::None);
    EXPECT_EQ(this->device->GetTextureStageState(1, StageState::ColorOp), TextureOp::Add);
    EXPECT_EQ(this->device->GetTransform(TransformKind::World)[12], 3.0f);
    EXPECT_TRUE(this->device->IsLightEnabled(2));

    // Capture takes the current values of the recorded states only.
    this->device->SetRenderState(RenderState::CullMode, Cull::Cw);
    this->device->SetRenderState(RenderState::ZFunc, Compare::Always);
    ASSERT_TRUE(this->device->CaptureStateBlock(block));
    this->device->SetRenderState(RenderState::CullMode, Cull::Ccw);
    this->device->SetRenderState(RenderState::ZFunc, Compare::Less);
    ASSERT_TRUE(this->device->ApplyStateBlock(block));
    EXPECT_EQ(this->device->GetRenderState(RenderState::CullMode), Cull::Cw);
    EXPECT_EQ(this->device->GetRenderState(RenderState::ZFunc), Compare::Less);

    ASSERT_TRUE(this->device->DeleteStateBlock(block));
    EXPECT_FALSE(this->device->ApplyStateBlock(block));
    EXPECT_FALSE(this->device->DeleteStateBlock(block));
}

TEST_P(DeviceTest, SimulatedLossFailsTheFrameUntilReset)
{
    PresentParameters parameters = Parameters(64, 64);
    ASSERT_TRUE(this->Open(parameters));
    this->device->SetRenderState(RenderState::Lighting, 0);

    this->device->SimulateDeviceState(DeviceState::Lost);
    EXPECT_EQ(this->device->CheckDeviceState(), DeviceState::Lost);
    EXPECT_FALSE(this->device->BeginScene());
    EXPECT_FALSE(this->device->Present());
    EXPECT_FALSE(this->device->Reset(parameters));  // not resettable yet

    this->device->SimulateDeviceState(DeviceState::NeedsReset);
    EXPECT_FALSE(this->device->BeginScene());
    parameters.backBufferWidth = 128;
    ASSERT_TRUE(this->device->Reset(parameters));
    EXPECT_EQ(this->device->CheckDeviceState(), DeviceState::Ready);
    // A reset device starts from the default states at its new size.
    EXPECT_EQ(this->device->GetRenderState(RenderState::Lighting), 1u);
    EXPECT_EQ(this->device->GetViewport().width, 128);
    EXPECT_EQ(this->device->GetDisplayMode().width, 128);

    this->BeginCleared(kRed, kClearTarget);
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(100, 10), kRed));
}

TEST_P(DeviceTest, BadRequestsAreRefused)
{
    EXPECT_FALSE(this->Open(Parameters(0, 64, Format::X8R8G8B8, Format::D16, false)));
    EXPECT_FALSE(this->Open(Parameters(64, 64, Format::A4R4G4B4)));
    EXPECT_FALSE(this->Open(Parameters(64, 64, Format::X8R8G8B8, Format::D15S1)));
    ASSERT_TRUE(this->Open(Parameters(64, 64, Format::X8R8G8B8, Format::Unknown)));
    EXPECT_EQ(this->device->GetRenderState(RenderState::ZEnable), 0u);
    EXPECT_FALSE(this->device->Clear(kClearDepth, 0, 1.0f, 0));
    EXPECT_FALSE(this->device->Clear(0, 0, 1.0f, 0));
    EXPECT_FALSE(this->device->SetViewport(Viewport{32, 0, 64, 64, 0.0f, 1.0f}));
    EXPECT_TRUE(this->device->SetViewport(Viewport{32, 0, 32, 64, 0.0f, 1.0f}));
    EXPECT_FALSE(this->device->SetRenderState(static_cast<RenderState>(-1), 0));
    EXPECT_FALSE(this->device->SetTextureStageState(8, StageState::ColorOp, 0));

    const ScreenVertex triangle[3] = {};
    EXPECT_FALSE(this->device->DrawUserPrimitives(PrimitiveType::TriangleList, 1, kScreenFormat,
                                                  triangle, sizeof(ScreenVertex)));  // no scene
    ASSERT_TRUE(this->device->BeginScene());
    EXPECT_FALSE(this->device->DrawUserPrimitives(PrimitiveType::TriangleList, 1, kScreenFormat,
                                                  nullptr, sizeof(ScreenVertex)));
    EXPECT_FALSE(this->device->DrawUserPrimitives(PrimitiveType::TriangleList, 1, kScreenFormat,
                                                  triangle, 4));
    EXPECT_FALSE(this->device->DrawUserPrimitives(PrimitiveType::TriangleList, 1,
                                                  kScreenFormat | kVertexPosition, triangle, 64));
    EXPECT_FALSE(this->device->BeginScene());
    // The viewport bounds the clear.
    ASSERT_TRUE(this->device->Clear(kClearTarget, kGreen, 1.0f, 0));
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(48, 10), kGreen));
    EXPECT_TRUE(ColorNear(this->Presented(10, 10), 0xFF000000u));
}

}  // namespace

namespace {

using namespace render;
using bwtest::ColorNear;

// A spot light's cone falls off linearly in the cosine of the angle from its axis, as
// the engine's lights are set (falloff 1, no inner cone). OpenGL has only an exponent:
// fitted at half the cone angle, the intensity there must match.
TEST_P(DeviceTest, SpotConesMatchTheLinearFalloffAtHalfTheirAngle)
{
    ASSERT_TRUE(this->Open(Parameters(64, 64)));
    this->device->SetRenderState(RenderState::CullMode, Cull::None);
    Material material;
    material.diffuse = Color4{1.0f, 1.0f, 1.0f, 1.0f};
    this->device->SetMaterial(material);
    Light spot;
    spot.type = LightType::Spot;
    spot.diffuse = Color4{1.0f, 1.0f, 1.0f, 1.0f};
    spot.position[2] = -1.0f;
    spot.direction[2] = 1.0f;
    spot.attenuation0 = 1.0f;
    spot.range = 1000.0f;
    spot.falloff = 1.0f;
    spot.theta = 0.0f;
    const float half = 30.0f * 3.14159265f / 180.0f;
    spot.phi = 2.0f * half;
    ASSERT_TRUE(this->device->SetLight(0, spot));
    ASSERT_TRUE(this->device->EnableLight(0, true));

    // Lighting is per vertex: a small quad around each probe pixel, 1.5 in front of the light.
    auto quadAt = [this](int px) {
        const float cx = (static_cast<float>(px) + 0.5f) / 32.0f - 1.0f;
        const float cy = 1.0f - 32.5f / 32.0f;
        const float d = 1.5f / 32.0f;
        const LitVertex v[6] = {
            {cx - d, cy + d, 0.5f, 0, 0, -1}, {cx + d, cy + d, 0.5f, 0, 0, -1}, {cx + d, cy - d, 0.5f, 0, 0, -1},
            {cx - d, cy + d, 0.5f, 0, 0, -1}, {cx + d, cy - d, 0.5f, 0, 0, -1}, {cx - d, cy - d, 0.5f, 0, 0, -1},
        };
        ASSERT_TRUE(this->device->DrawUserPrimitives(PrimitiveType::TriangleList, 2, kLitFormat, v,
                                                     sizeof(LitVertex)));
    };
    this->BeginCleared(kBlue);
    quadAt(31);
    quadAt(44);
    quadAt(62);
    this->EndAndPresent();

    // Expected: diffuse cos(a) times (cos(a) - cos(half)) / (1 - cos(half)).
    auto expected = [half](int px) {
        const double x = (px + 0.5) / 32.0 - 1.0;
        const double y = 1.0 - 32.5 / 32.0;
        const double a = std::atan(std::sqrt(x * x + y * y) / 1.5);
        const double spotFactor = std::max(0.0, (std::cos(a) - std::cos(half)) / (1.0 - std::cos(half)));
        const auto level = static_cast<uint32_t>(std::lround(255.0 * std::cos(a) * spotFactor));
        return 0xFF000000u | level << 16 | level << 8 | level;
    };
    // Pixel 44 lies at about 14.6 degrees, half the cone; 62 outside it.
    EXPECT_TRUE(ColorNear(this->Presented(44, 32), expected(44), 8));
    EXPECT_TRUE(ColorNear(this->Presented(31, 32), expected(31), 8));
    EXPECT_TRUE(ColorNear(this->Presented(62, 32), 0xFF000000u, 2));
}

// Every OpenGL error reaches the handler, with the call named.
TEST_P(DeviceTest, OpenGlErrorsReachTheHandler)
{
#ifdef BW_GL_ERROR_CHECK
    ASSERT_TRUE(this->Open(Parameters(16, 16)));
    static std::vector<std::string> seen;
    const GlErrorHandler before = glErrorHandler;
    glErrorHandler = [](const char* message) { seen.emplace_back(message); };
    glEnable(0x1234);  // no such capability
    CheckGlErrors("the test");
    glErrorHandler = before;
    ASSERT_EQ(seen.size(), 1u);
    // GL's debug message names the call; polling names the device operation.
    EXPECT_TRUE(seen[0].find("glEnable") != std::string::npos || seen[0].find("the test") != std::string::npos)
        << seen[0];
#else
    GTEST_SKIP() << "only the test build checks OpenGL errors";
#endif
}

}  // namespace

namespace {

using namespace render;
using bwtest::ColorNear;

struct ColorVertex {
    float x, y, z;
    uint32_t color;
};

// Buffers refuse what would reach outside them, nest their locks, and a draw whose
// indices reach past the vertex buffer is refused instead of reading beyond it.
TEST_P(DeviceTest, BuffersGuardTheirBoundsAndDrawAtTheBaseVertex)
{
    ASSERT_TRUE(this->Open(Parameters(32, 32)));
    this->device->SetRenderState(RenderState::Lighting, 0);
    this->device->SetRenderState(RenderState::CullMode, Cull::None);
    std::unique_ptr<DeviceBuffer> vb =
        this->device->CreateVertexBuffer(6 * sizeof(ColorVertex), BufferUsage::Static);
    std::unique_ptr<DeviceBuffer> ib = this->device->CreateIndexBuffer(3, BufferUsage::Static);
    ASSERT_TRUE(vb && ib);
    EXPECT_EQ(this->device->GetLiveBufferCount(), 2u);
    EXPECT_EQ(vb->Lock(0, vb->GetSize() + 1, 0), nullptr);
    EXPECT_EQ(vb->Lock(vb->GetSize(), 4, 0), nullptr);

    // Two triangles: a red one, and a green one drawn through base vertex 3.
    auto* v = static_cast<ColorVertex*>(vb->Lock(0, 3 * sizeof(ColorVertex), 0));
    auto* w = static_cast<ColorVertex*>(vb->Lock(3 * sizeof(ColorVertex), 3 * sizeof(ColorVertex), 0));
    ASSERT_TRUE(v && w);
    v[0] = {-1.0f, -1.0f, 0.5f, kRed};
    v[1] = {0.0f, -1.0f, 0.5f, kRed};
    v[2] = {-0.5f, 1.0f, 0.5f, kRed};
    w[0] = {0.0f, -1.0f, 0.5f, kGreen};
    w[1] = {1.0f, -1.0f, 0.5f, kGreen};
    w[2] = {0.5f, 1.0f, 0.5f, kGreen};
    EXPECT_TRUE(vb->Unlock());
    EXPECT_TRUE(vb->IsLocked()) << "locks nest";
    EXPECT_TRUE(vb->Unlock());
    auto* idx = static_cast<uint16_t*>(ib->Lock(0, 6, 0));
    ASSERT_NE(idx, nullptr);
    idx[0] = 0;
    idx[1] = 1;
    idx[2] = 2;
    ASSERT_TRUE(ib->Unlock());

    const unsigned layout = kVertexPosition | kVertexDiffuse;
    ASSERT_TRUE(this->device->SetStreamSource(vb.get(), sizeof(ColorVertex)));
    ASSERT_TRUE(this->device->SetVertexFormat(layout));
    this->BeginCleared(kBlue);
    ASSERT_TRUE(this->device->SetIndices(ib.get(), 0));
    EXPECT_TRUE(this->device->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 3, 0, 1));
    ASSERT_TRUE(this->device->SetIndices(ib.get(), 3));
    EXPECT_TRUE(this->device->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 3, 0, 1));
    // Base vertex 4 would reach vertex 6 of 6; two primitives need more indices than there are.
    ASSERT_TRUE(this->device->SetIndices(ib.get(), 4));
    EXPECT_FALSE(this->device->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 2, 0, 1));
    ASSERT_TRUE(this->device->SetIndices(ib.get(), 0));
    EXPECT_FALSE(this->device->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 3, 0, 2));
    // Not while locked.
    ASSERT_NE(vb->Lock(0, 4, 0), nullptr);
    EXPECT_FALSE(this->device->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 3, 0, 1));
    vb->Unlock();
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(8, 24), kRed));
    EXPECT_TRUE(ColorNear(this->Presented(24, 24), kGreen));
    EXPECT_TRUE(ColorNear(this->Presented(16, 2), kBlue));

    // A dynamic buffer maps fresh storage on a discard lock; nested locks share the mapping.
    std::unique_ptr<DeviceBuffer> dyn = this->device->CreateVertexBuffer(64, BufferUsage::Dynamic);
    auto* first = static_cast<uint8_t*>(dyn->Lock(0, 64, kLockDiscard));
    auto* second = static_cast<uint8_t*>(dyn->Lock(16, 16, kLockNoOverwrite));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(second, first + 16);
    EXPECT_TRUE(dyn->Unlock());
    EXPECT_TRUE(dyn->Unlock());
    EXPECT_FALSE(dyn->IsLocked());

    // Buffers freed before the device leave none alive; one left over is detached.
    dyn.reset();
    ib.reset();
    EXPECT_EQ(this->device->GetLiveBufferCount(), 1u);
    this->device.reset();
    EXPECT_EQ(vb->Lock(0, 4, 0), nullptr) << "its device is gone";
    vb.reset();
}

// A buffer that went leaves its storage to the next one of its size that is locked whole,
// and only to that: a partial first lock still reads zero where nothing was written.
// Indices written whole may bring their largest with them; otherwise it is looked for.
TEST_P(DeviceTest, BuffersThatWentServeOnlyWholeFirstLocks)
{
    ASSERT_TRUE(this->Open(Parameters(32, 32)));
    this->device->SetRenderState(RenderState::Lighting, 0);
    this->device->SetRenderState(RenderState::CullMode, Cull::None);
    const size_t size = 3 * sizeof(ColorVertex);
    {
        std::unique_ptr<DeviceBuffer> old = this->device->CreateVertexBuffer(size, BufferUsage::Static);
        void* bits = old->Lock(0, size, 0);
        ASSERT_NE(bits, nullptr);
        std::memset(bits, 0xAB, size);
        ASSERT_TRUE(old->Unlock());
    }
    std::unique_ptr<DeviceBuffer> half = this->device->CreateVertexBuffer(size, BufferUsage::Static);
    ASSERT_NE(half->Lock(size / 2, size / 2, 0), nullptr);
    ASSERT_TRUE(half->Unlock());
    auto* front = static_cast<const uint8_t*>(half->Lock(0, size / 2, 0));
    ASSERT_NE(front, nullptr);
    for (size_t i = 0; i < size / 2; ++i) ASSERT_EQ(front[i], 0) << i;
    half->Unlock();

    std::unique_ptr<DeviceBuffer> vb = this->device->CreateVertexBuffer(size, BufferUsage::Static);
    auto* v = static_cast<ColorVertex*>(vb->Lock(0, size, 0));
    ASSERT_NE(v, nullptr);
    v[0] = {-1.0f, -1.0f, 0.5f, kRed};
    v[1] = {1.0f, -1.0f, 0.5f, kRed};
    v[2] = {0.0f, 1.0f, 0.5f, kRed};
    ASSERT_TRUE(vb->Unlock());

    std::unique_ptr<DeviceBuffer> told = this->device->CreateIndexBuffer(3, BufferUsage::Static);
    auto* idx = static_cast<uint16_t*>(told->Lock(0, 6, kLockWriteAll));
    ASSERT_NE(idx, nullptr);
    idx[0] = 0;
    idx[1] = 1;
    idx[2] = 2;
    ASSERT_TRUE(told->UnlockIndices(2));
    EXPECT_EQ(told->GetMaxIndex(), 2);
    // Indices written whole went straight to GL: a later lock still finds them.
    const auto* again = static_cast<const uint16_t*>(told->Lock(0, 6, 0));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again[0], 0);
    EXPECT_EQ(again[1], 1);
    EXPECT_EQ(again[2], 2);
    ASSERT_TRUE(told->Unlock());
    EXPECT_EQ(told->GetMaxIndex(), 2);
    std::unique_ptr<DeviceBuffer> part = this->device->CreateIndexBuffer(3, BufferUsage::Static);
    idx = static_cast<uint16_t*>(part->Lock(2, 2, 0));
    ASSERT_NE(idx, nullptr);
    *idx = 4;
    ASSERT_TRUE(part->UnlockIndices(1));
    EXPECT_EQ(part->GetMaxIndex(), 4) << "a part-written buffer is looked through";

    ASSERT_TRUE(this->device->SetStreamSource(vb.get(), sizeof(ColorVertex)));
    ASSERT_TRUE(this->device->SetVertexFormat(kVertexPosition | kVertexDiffuse));
    ASSERT_TRUE(this->device->SetIndices(told.get(), 0));
    this->BeginCleared(kBlue);
    EXPECT_TRUE(this->device->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 3, 0, 1));
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(16, 20), kRed));
    EXPECT_TRUE(ColorNear(this->Presented(1, 1), kBlue));
}

}  // namespace

TEST_P(DeviceTest, TheScissorRectangleClipsDrawsButNotClears)
{
    ASSERT_TRUE(this->Open(Parameters(64, 64)));
    const Rect inner{16, 8, 48, 24};
    Rect read;
    EXPECT_FALSE(this->device->GetScissorRect(read));
    const Rect backwards{10, 10, 5, 20};
    EXPECT_FALSE(this->device->SetScissorRect(&backwards));
    ASSERT_TRUE(this->device->SetScissorRect(&inner));
    ASSERT_TRUE(this->device->GetScissorRect(read));
    EXPECT_EQ(read.bottom, 24);
    // Rows count from the top: the red lands in rows 8 to 23 only.
    this->BeginCleared(kBlue, kClearTarget);
    this->DrawScreenQuad(0, 0, 64, 64, kRed);
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(32, 16), kRed));
    for (auto [x, y] : {std::pair{8, 16}, {56, 16}, {32, 4}, {32, 40}}) {
        EXPECT_TRUE(ColorNear(this->Presented(x, y), kBlue)) << x << "," << y;
    }
    // The next frame's clear covers everything; without a rectangle draws do too.
    this->BeginCleared(kGreen, kClearTarget);
    ASSERT_TRUE(this->device->SetScissorRect(nullptr));
    this->DrawScreenQuad(0, 32, 64, 64, kRed);
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(4, 4), kGreen));
    EXPECT_TRUE(ColorNear(this->Presented(4, 60), kRed));
}

TEST_P(DeviceTest, IndexedDrawsFromMemoryReachOnlyTheirVertices)
{
    ASSERT_TRUE(this->Open(Parameters(32, 32)));
    this->device->SetRenderState(RenderState::Lighting, 0);
    this->device->SetRenderState(RenderState::CullMode, Cull::None);
    // Vertex 0 is never named; the triangle lies on the right half.
    const ColorVertex vertices[4] = {{-1.0f, -1.0f, 0.5f, kRed},
                                     {0.0f, -1.0f, 0.5f, kGreen},
                                     {1.0f, -1.0f, 0.5f, kGreen},
                                     {0.5f, 1.0f, 0.5f, kGreen}};
    const uint16_t indices[3] = {1, 2, 3};
    const unsigned layout = kVertexPosition | kVertexDiffuse;
    EXPECT_FALSE(this->device->DrawIndexedUserPrimitives(PrimitiveType::TriangleList, 1, 3, 1, indices, layout,
                                                         vertices, sizeof(ColorVertex)))
        << "outside a scene";
    this->BeginCleared(kBlue);
    EXPECT_TRUE(this->device->DrawIndexedUserPrimitives(PrimitiveType::TriangleList, 1, 3, 1, indices, layout,
                                                        vertices, sizeof(ColorVertex)));
    EXPECT_FALSE(this->device->DrawIndexedUserPrimitives(PrimitiveType::TriangleList, 1, 3, 1, nullptr, layout,
                                                         vertices, sizeof(ColorVertex)));
    EXPECT_FALSE(this->device->DrawIndexedUserPrimitives(PrimitiveType::TriangleList, 1, 3, 1, indices,
                                                         kVertexPositionRhw | kVertexDiffuse, vertices,
                                                         sizeof(ColorVertex)));
    EXPECT_FALSE(this->device->DrawIndexedUserPrimitives(PrimitiveType::TriangleList, 1, 3, 1, indices, layout,
                                                         vertices, 4));
    this->EndAndPresent();
    EXPECT_TRUE(ColorNear(this->Presented(24, 24), kGreen));
    EXPECT_TRUE(ColorNear(this->Presented(8, 24), kBlue));
}

INSTANTIATE_TEST_SUITE_P(Window, DeviceTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("DrawnStraightIn") : std::string("CopiedIn");
                         });
