#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "gfx/nPixelFormat.h"
#include "gfx/nTexture.h"
#include "kernel/nEnv.h"
#include "platform/render/Device.h"
#include "platform/render/RenderSystem.h"
#include "platform/window/Window.h"
#include "tests/gfx/GfxTestKernel.h"
#include "tests/platform/SdlTestEnvironment.h"

namespace {

using bwtest::ColorNear;
using render::RenderState;

const char* const FullHal32 = "type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)";
const char* const FullHal16 = "type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)";
const char* const WinHal = "w(800)-h(600)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)";

// Render states by their engine codes, with an integer or a float value.
nRenderState Rs(int32_t code, int32_t i) { nRenderState rs; rs.state = code; rs.value.i = i; return rs; }
nRenderState Rs(int32_t code, float f) { nRenderState rs; rs.state = code; rs.value.f = f; return rs; }

// A 2 x 2 texture whose lock hands out its pixels and, as device textures do, a new
// pixel format that belongs to the caller.
class nLockableTexture : public nTexture {
public:
    static const nClassInfo classInfo;
    bool Load() override {
        width = height = 2;
        return true;
    }
    void* Lock(int, int, int, int, int* pitch, nPixelFormat** format) override {
        if (pitch) *pitch = 8;
        if (format) *format = new nPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
        return pixels;
    }
    void Unlock() override {}
    uint32_t pixels[4] = {0xFFFFFFFFu, 0, 0, 0xFFFFFFFFu};
};
const nClassInfo nLockableTexture::classInfo = nClassInfo::Make<nLockableTexture>("nlockabletexture", "ntexture");

// The server with textures for its cursors.
class nCursorD3D8Server : public nD3D8Server {
public:
    static const nClassInfo classInfo;
    nTexture* NewTexture(const char* name) override {
        return static_cast<nTexture*>(newResource(texList, "nlockabletexture", name));
    }
};
const nClassInfo nCursorD3D8Server::classInfo = nClassInfo::Make<nCursorD3D8Server>("ncursord3d8server", "nd3d8server");

class D3D8ServerTest : public GfxTestKernel {
protected:
    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }

    void SetUp() override {
        GfxTestKernel::SetUp();
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        ASSERT_NE(gfx, nullptr);
        ASSERT_FALSE(TakeErrors());
    }

    bool Open(const char* mode) { return gfx->SetDisplayMode(mode) && gfx->OpenDisplay(); }

    uint32_t Presented(int x, int y) { return bwtest::Presented(*gfx->GetDevice(), x, y); }

    nRoot* ModeNamed(const char* name) {
        nRoot* modes = kernel->Lookup("/sys/share/display/0/modes");
        for (nRoot* m = modes ? modes->GetHead() : nullptr; m; m = m->GetSucc()) {
            auto* env = static_cast<nEnv*>(m->Find("name"));
            if (env && std::strcmp(env->GetS(), name) == 0) return m;
        }
        return nullptr;
    }

    static int EnvI(nRoot* node, const char* name) {
        auto* env = node ? static_cast<nEnv*>(node->Find(name)) : nullptr;
        return env ? env->GetI() : -1;
    }

    uint32_t DevState(RenderState s) { return gfx->GetDevice()->GetRenderState(s); }

    nD3D8Server* gfx = nullptr;
};

TEST_F(D3D8ServerTest, AdaptersAndTheirModesAreListedUnderTheDisplayNode) {
    nRoot* adapter = kernel->Lookup("/sys/share/display/0");
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(EnvI(adapter, "adapter"), 0);
    nRoot* m = ModeNamed("type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-rtype(hal)");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(EnvI(m, "w"), 800);
    for (nRoot* n = m->GetParent()->GetHead(); n; n = n->GetSucc()) {
        EXPECT_GE(EnvI(n, "w"), 640);
        EXPECT_NE(EnvI(n, "d3d8_devicetyp"), 3) << "no software renderer is offered";
    }
    // The window handle other servers read.
    EXPECT_EQ(uint32_t(EnvI(kernel->Lookup("/sys/env"), "hwnd")), gfx->GetWindow()->GetId());

    // Unspecified depth and stencil mean 16 and 0; ref and unknown renderers match alike.
    ASSERT_TRUE(gfx->SetDisplayMode("type(full)-w(800)-h(600)-bpp(32)"));
    EXPECT_EQ(gfx->GetSelectedMode(), m);
    ASSERT_TRUE(gfx->SetDisplayMode("type(full)-w(800)-h(600)-bpp(32)-rtype(ref)"));
    nRoot* ref = gfx->GetSelectedMode();
    EXPECT_EQ(ref, ModeNamed("type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-rtype(ref)"));
    ASSERT_TRUE(gfx->SetDisplayMode("type(full)-w(800)-h(600)-bpp(32)-rtype(xyz)"));
    EXPECT_EQ(gfx->GetSelectedMode(), ref);

    // Adapters without a usable mode are skipped; refresh rates collapse into one mode.
    render::AdapterInfo small;
    small.desktopMode = {320, 200, 60, render::Format::X8R8G8B8};
    small.modes = {{320, 200, 60, render::Format::X8R8G8B8}, {512, 384, 60, render::Format::X8R8G8B8}};
    render::AdapterInfo big;
    big.description = "second display";
    big.desktopMode = {1024, 768, 60, render::Format::X8R8G8B8};
    big.modes = {{800, 600, 60, render::Format::X8R8G8B8}, {800, 600, 75, render::Format::X8R8G8B8}};
    gfx->GetRenderSystem()->OverrideAdapters({small, big});
    gfx->EnumAdapters();
    EXPECT_EQ(kernel->Lookup("/sys/share/display/1"), nullptr);
    adapter = kernel->Lookup("/sys/share/display/0");
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(EnvI(adapter, "adapter"), 1);
    EXPECT_STREQ(static_cast<nEnv*>(adapter->Find("drv_desc"))->GetS(), "second display");
    // One node per device type (hal, ref) and depth format (D16, D32, D24S8, D24X8).
    int count = 0;
    for (nRoot* n = adapter->Find("modes")->GetHead(); n; n = n->GetSucc()) ++count;
    EXPECT_EQ(count, 8);
    // The selection follows the new list, and the device opens on the kept adapter.
    ASSERT_TRUE(Open(FullHal32));

    // A window on a 16-bit desktop takes a 16-bit depth buffer.
    big.desktopMode.format = render::Format::R5G6B5;
    gfx->GetRenderSystem()->OverrideAdapters({big});
    gfx->EnumAdapters();
    ASSERT_TRUE(Open(WinHal));
    EXPECT_EQ(gfx->GetBpp(), 16);
    EXPECT_EQ(gfx->GetPresentParameters().depthStencilFormat, render::Format::D16);
    EXPECT_EQ(gfx->GetPresentParameters().backBufferFormat, render::Format::R5G6B5);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8ServerTest, ModeStringsOpenOrAreRefusedWithAReason) {
    ASSERT_TRUE(Open(FullHal32));
    EXPECT_TRUE(gfx->IsFullScreen());
    EXPECT_EQ(gfx->GetPresentParameters().depthStencilFormat, render::Format::D16);
    EXPECT_EQ(gfx->GetPresentParameters().backBufferFormat, render::Format::X8R8G8B8);
    gfx->CloseDisplay();
    gfx->CloseDisplay();
    EXPECT_EQ(gfx->GetDevice(), nullptr);
    EXPECT_TRUE(gfx->IsMinimised());

    // Windowed on a 32-bit desktop: the desktop's depth and a stencil buffer.
    ASSERT_TRUE(Open(WinHal));
    EXPECT_FALSE(gfx->IsFullScreen());
    EXPECT_EQ(gfx->GetBpp(), 32);
    EXPECT_EQ(gfx->GetPresentParameters().depthStencilFormat, render::Format::D24S8);
    EXPECT_FALSE(TakeErrors());

    // A refused string returns false, so the start-up tries its next one.
    gfx->CloseDisplay();
    const char* bad[] = {
        "type(full)-w(801)-h(600)",   // no adapter offers it
        "type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(sw)",  // no software renderer
        "w(abc)-h(600)",              // not a number
        "type(tv)-w(800)-h(600)",     // no such type
        "w(0)-h(600)",                // empty window
        "w(9000)-h(9000)",            // larger than any device
        "hello",                      // nothing a mode has
    };
    for (const char* mode : bad) {
        EXPECT_FALSE(gfx->SetDisplayMode(mode)) << mode;
        EXPECT_TRUE(TakeErrors()) << mode;
        // Nothing stale is opened after a refused string.
        EXPECT_FALSE(gfx->OpenDisplay()) << mode;
        EXPECT_TRUE(TakeErrors()) << mode;
        EXPECT_FALSE(gfx->IsDisplayOpen());
    }
    // The mode exists, but the device refuses five back buffers.
    for (const char* mode : {"type(full)-w(800)-h(600)-bpp(32)-bbuf(5)"}) {
        ASSERT_TRUE(gfx->SetDisplayMode(mode)) << mode;
        EXPECT_FALSE(gfx->OpenDisplay()) << mode;
        EXPECT_TRUE(TakeErrors()) << mode;
        EXPECT_FALSE(gfx->IsDisplayOpen());
    }
    // Without a display, frames and pictures are refused.
    EXPECT_FALSE(gfx->BeginScene());
    EXPECT_FALSE(gfx->Screenshot(Path("unused.bmp").c_str()));
    TakeErrors();
    EXPECT_TRUE(Open(FullHal32));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8ServerTest, AModeTheDeviceCannotMakeLeavesTheOpenDisplayAsItWas) {
    // A script's 100000 x 100000 mode and an open closed the display for good.
    for (const char* open : {WinHal, FullHal32}) {
        ASSERT_TRUE(Open(open));
        const std::string mode = gfx->GetDisplayMode();
        const bool full = gfx->IsFullScreen();
        const int bpp = gfx->GetBpp();
        for (const char* impossible : {"w(100000)-h(100000)", "type(full)-w(100000)-h(100000)-bpp(32)", "w(0)-h(0)",
                                       "w(800)-h(600)-bpp(-16)", "type(full)-w(800)-h(600)-bpp(32)-bbuf(5)"}) {
            gfx->SetDisplayMode(impossible);  // refused here, or when its device cannot be made
            EXPECT_FALSE(gfx->OpenDisplay()) << impossible;
            EXPECT_TRUE(TakeErrors()) << impossible;
            ASSERT_TRUE(gfx->IsDisplayOpen()) << impossible;
            EXPECT_EQ(gfx->IsFullScreen(), full) << impossible;
            EXPECT_EQ(gfx->GetPresentParameters().backBufferWidth, 800) << impossible;
            EXPECT_EQ(gfx->GetPresentParameters().backBufferHeight, 600) << impossible;
            // The mode read back is the one open: sprites copy their pixels by its depth.
            EXPECT_EQ(gfx->GetDisplayMode(), mode) << impossible;
            EXPECT_EQ(gfx->GetBpp(), bpp) << impossible;
            ASSERT_TRUE(gfx->BeginScene()) << impossible;
            gfx->EndScene();
        }
    }
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8ServerTest, ClearedFramesAndStencilReadBackAfterPresent) {
    ASSERT_TRUE(Open(FullHal32));
    gfx->SetClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    ASSERT_TRUE(gfx->BeginScene());
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(5, 5), 0xFFFF0000u));
    EXPECT_TRUE(ColorNear(Presented(799, 599), 0xFFFF0000u));

    // Without clearing, the next frame keeps what the last one left.
    gfx->SetClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    gfx->SetClearBackBuffer(false);
    ASSERT_TRUE(gfx->BeginScene());
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(400, 300), 0xFFFF0000u));
    gfx->SetClearBackBuffer(true);
    ASSERT_TRUE(gfx->BeginScene());
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(400, 300), 0xFF0000FFu));

    // A window on this 32-bit desktop has a stencil buffer, cleared along with the frame.
    ASSERT_TRUE(Open(WinHal));
    ASSERT_EQ(gfx->GetPresentParameters().depthStencilFormat, render::Format::D24S8);
    gfx->SetRenderState(Rs(37, 5));
    gfx->SetClearColor(1.0f, 0.0f, 1.0f, 1.0f);
    ASSERT_TRUE(gfx->BeginScene());
    // Stencil "equal": the quad passes where the cleared value matches the reference.
    gfx->SetRenderState(Rs(30, 1));
    gfx->SetRenderState(Rs(34, 16));
    struct Vertex {
        float x, y, z, rhw;
        uint32_t color;
    };
    auto quad = [&](float x0, float x1, int32_t ref) {
        gfx->SetRenderState(Rs(35, ref));
        // Counter-clockwise on screen: the server culls clockwise triangles.
        const uint32_t c = 0xFF00FF00u;
        const Vertex v[6] = {{x0, 100, 0.5f, 1, c}, {x0, 200, 0.5f, 1, c}, {x1, 200, 0.5f, 1, c},
                             {x0, 100, 0.5f, 1, c}, {x1, 200, 0.5f, 1, c}, {x1, 100, 0.5f, 1, c}};
        EXPECT_TRUE(gfx->GetDevice()->DrawUserPrimitives(render::PrimitiveType::TriangleList, 2,
                                                         render::kVertexPositionRhw | render::kVertexDiffuse, v,
                                                         sizeof(Vertex)));
    };
    quad(100, 200, 5);
    quad(300, 400, 6);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(150, 150), 0xFF00FF00u));
    EXPECT_TRUE(ColorNear(Presented(350, 150), 0xFFFF00FFu));
    EXPECT_TRUE(ColorNear(Presented(400, 300), 0xFFFF00FFu));

    // Channels are clamped rather than spilling into their neighbours.
    gfx->SetClearColor(2.0f, -1.0f, 0.5f, 1.0f);
    EXPECT_EQ(gfx->GetPackedClearColor(), 0xFFFF007Fu);
}

TEST_F(D3D8ServerTest, LockedBackBufferPatternsComeBackUpright) {
    for (const char* mode : {FullHal32, FullHal16}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(Open(mode));
        gfx->SetClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        ASSERT_TRUE(gfx->BeginScene());
        const float rect[4] = {100.0f, 50.0f, 164.0f, 82.0f};
        nPixelFormat* format = nullptr;
        int pitch = 0;
        auto* bits = static_cast<uint8_t*>(gfx->LockBackBuffer(rect, &format, &pitch));
        ASSERT_NE(bits, nullptr);
        ASSERT_NE(format, nullptr);
        const bool wide = mode == FullHal32;
        EXPECT_EQ(format->bpp, wide ? 32 : 16);
        EXPECT_EQ(format->rmask, wide ? 0xFF0000u : 0xF800u);
        // Top half green, bottom half red, with a white first column.
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 64; ++x) {
                uint32_t c = x == 0 ? 0xFFFFFFFFu : y < 16 ? 0xFF00FF00u : 0xFFFF0000u;
                uint8_t* p = bits + size_t(y) * size_t(pitch) + size_t(x) * (wide ? 4 : 2);
                uint16_t v = uint16_t(((c >> 8) & 0xF800) | ((c >> 5) & 0x7E0) | ((c >> 3) & 0x1F));
                if (wide) std::memcpy(p, &c, 4);
                else std::memcpy(p, &v, 2);
            }
        }
        // A second lock, or a present, waits for the unlock.
        EXPECT_EQ(gfx->LockBackBuffer(rect, &format, &pitch), nullptr);
        EXPECT_TRUE(TakeErrors());
        gfx->UnlockBackBuffer();
        gfx->EndScene();
        EXPECT_TRUE(ColorNear(Presented(110, 55), 0xFF00FF00u));
        EXPECT_TRUE(ColorNear(Presented(110, 78), 0xFFFF0000u));
        EXPECT_TRUE(ColorNear(Presented(100, 60), 0xFFFFFFFFu));
        EXPECT_TRUE(ColorNear(Presented(99, 60), 0xFF0000FFu));
        EXPECT_TRUE(ColorNear(Presented(110, 82), 0xFF0000FFu));

        // A rectangle that leaves the back buffer would be written past its end.
        const float outside[4] = {780.0f, 590.0f, 844.0f, 622.0f};
        EXPECT_EQ(gfx->LockBackBuffer(outside, &format, &pitch), nullptr);
        EXPECT_TRUE(TakeErrors());
        gfx->UnlockBackBuffer();
        EXPECT_TRUE(TakeErrors());
    }
}

TEST_F(D3D8ServerTest, LostDevicesSkipFramesAndResetDevicesDrawAgain) {
    ASSERT_TRUE(Open(FullHal32));
    render::Device* device = gfx->GetDevice();
    gfx->SetClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    device->SetRenderState(RenderState::CullMode, render::Cull::None);
    device->SimulateDeviceState(render::DeviceState::Lost);
    EXPECT_FALSE(gfx->BeginScene());
    EXPECT_FALSE(gfx->IsInScene());

    device->SimulateDeviceState(render::DeviceState::NeedsReset);
    ASSERT_TRUE(gfx->BeginScene());
    EXPECT_EQ(device->CheckDeviceState(), render::DeviceState::Ready);
    // The reset device got the server's defaults again.
    EXPECT_EQ(DevState(RenderState::CullMode), render::Cull::Cw);
    EXPECT_EQ(DevState(RenderState::DitherEnable), 1u);
    EXPECT_EQ(device->GetTextureStageState(0, render::StageState::MipMapLodBias), render::FloatBits(-1.3f));
    EXPECT_EQ(device->GetTransform(render::TransformKind::View)[10], -1.0f);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(400, 300), 0xFF00FF00u));
}

TEST_F(D3D8ServerTest, WindowMessagesDriveTheMainLoopAndCursor) {
    ASSERT_TRUE(Open(WinHal));
    EXPECT_TRUE(gfx->Trigger());
    window::Message msg;
    msg.kind = window::MessageKind::Size;
    msg.minimised = true;
    EXPECT_FALSE(gfx->WindowProc(msg));
    EXPECT_TRUE(gfx->IsMinimised());
    msg.minimised = false;
    gfx->WindowProc(msg);
    EXPECT_FALSE(gfx->IsMinimised());

    // Without engine cursors the system arrow shows; hiding it in a window keeps the arrow.
    gfx->ShowCursor();
    EXPECT_TRUE(gfx->IsSystemCursorShown());
    EXPECT_FALSE(gfx->IsDeviceCursorShown());
    msg.kind = window::MessageKind::SetCursor;
    EXPECT_FALSE(gfx->WindowProc(msg));
    gfx->HideCursor();
    EXPECT_TRUE(gfx->IsSystemCursorShown());

    // Engine cursors whose images cannot be had leave the arrow, with a logged reason.
    gfx->ShowCursor();
    gfx->BeginCursors(1);
    gfx->SetCursor(0, "cursor.bmp", 1, 1);
    gfx->EndCursors();
    EXPECT_TRUE(TakeErrors());
    EXPECT_TRUE(gfx->IsSystemCursorShown());
    EXPECT_FALSE(gfx->IsDeviceCursorShown());
    gfx->BeginCursors(0);
    gfx->HideCursor();

    // In full screen a hidden cursor is no cursor at all.
    ASSERT_TRUE(Open(FullHal32));
    EXPECT_FALSE(gfx->IsSystemCursorShown());
    EXPECT_TRUE(gfx->WindowProc(msg));
    EXPECT_EQ(gfx->GetWindow()->GetCursorMode(), window::CursorMode::Hidden);

    // A close request ends the main loop; the window stays until the server goes.
    ASSERT_TRUE(gfx->GetWindow()->RequestClose());
    EXPECT_FALSE(gfx->Trigger());
    EXPECT_FALSE(gfx->Trigger());
    EXPECT_NE(gfx->GetWindow(), nullptr);
    EXPECT_TRUE(gfx->BeginScene());
    gfx->EndScene();
}

// The cursor image is read through a texture lock, whose pixel format is freed again
// (the leak check of the sanitised build sees one that is not).
TEST_F(D3D8ServerTest, CursorImagesAreReadFromTheirTextures) {
    kernel->AddClass(nLockableTexture::classInfo);
    kernel->AddClass(nCursorD3D8Server::classInfo);
    gfx->Release();
    gfx = static_cast<nD3D8Server*>(kernel->New("ncursord3d8server", "/sys/servers/gfx"));
    ASSERT_TRUE(Open(WinHal));
    gfx->BeginCursors(1);
    gfx->SetCursor(0, "cursor.bmp", 1, 1);
    gfx->EndCursors();
    ASSERT_TRUE(gfx->GetCursorEntry(0).texture.IsValid());
    TakeErrors();  // drivers without pointer images say so and keep the arrow
    EXPECT_NE(gfx->IsSystemCursorShown(), gfx->IsDeviceCursorShown());
}

TEST_F(D3D8ServerTest, TransformsReachTheDevice) {
    ASSERT_TRUE(Open(FullHal32));
    render::Device* device = gfx->GetDevice();
    // Default volume: 45-degree half angles, depth 0..1 on the device.
    const render::Matrix& p = device->GetTransform(render::TransformKind::Projection);
    EXPECT_FLOAT_EQ(p[0], 1.0f);
    EXPECT_FLOAT_EQ(p[11], 1.0f);
    EXPECT_FLOAT_EQ(p[10], 25000.0f / (25000.0f - 0.1f));

    // An off-centre volume shifts x by z, not depth by x.
    gfx->SetViewVolume(0.0f, 0.2f, -0.1f, 0.1f, 0.1f, 100.0f);
    const render::Matrix& q = device->GetTransform(render::TransformKind::Projection);
    EXPECT_FLOAT_EQ(q[8], -1.0f);
    EXPECT_FLOAT_EQ(q[2], 0.0f);
    // The engine's matrix maps the near plane's left edge to -1.
    const matrix44& e = gfx->GetMatrix(nGfxServer::PROJECTION);
    EXPECT_FLOAT_EQ(e.m[2][0], 1.0f);
    EXPECT_NEAR((0.0f * e.m[0][0] + (-0.1f) * e.m[2][0]) / ((-0.1f) * e.m[2][3]), -1.0f, 1e-5);

    // Modelview goes to the world transform; a pop sends the restored one again.
    matrix44 a;
    a.m[3][0] = 5.0f;
    gfx->SetMatrix(nGfxServer::MODELVIEW, a);
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->SetMatrix(nGfxServer::MODELVIEW, matrix44());
    EXPECT_FLOAT_EQ(device->GetTransform(render::TransformKind::World)[12], 0.0f);
    gfx->PopMatrix(nGfxServer::MODELVIEW);
    EXPECT_FLOAT_EQ(device->GetTransform(render::TransformKind::World)[12], 5.0f);
}

TEST_F(D3D8ServerTest, LightsBecomeDeviceLights) {
    ASSERT_TRUE(Open(FullHal32));
    render::Device* device = gfx->GetDevice();
    ASSERT_TRUE(gfx->BeginScene());
    nLight ambient;
    ambient.r = 0.5f, ambient.g = 0.25f, ambient.b = 1.0f;
    EXPECT_TRUE(gfx->SetLight(ambient));
    EXPECT_EQ(DevState(RenderState::Ambient), 0xFF7F3FFFu);
    EXPECT_FALSE(device->IsLightEnabled(0));

    matrix44 mv;
    mv.m[3][0] = 1.0f, mv.m[3][1] = 2.0f, mv.m[3][2] = 3.0f;
    mv.m[2][2] = 2.0f;  // an unnormalised z row
    gfx->SetMatrix(nGfxServer::MODELVIEW, mv);
    nLight spot;
    spot.type = nLight::SPOT, spot.spotCone = 30.0f, spot.attConst = 0.5f;
    EXPECT_TRUE(gfx->SetLight(spot));
    const render::Light& l = device->GetLight(1);
    EXPECT_TRUE(device->IsLightEnabled(1));
    EXPECT_EQ(l.type, render::LightType::Spot);
    EXPECT_FLOAT_EQ(l.position[2], 3.0f);
    EXPECT_FLOAT_EQ(l.direction[2], -1.0f);
    EXPECT_FLOAT_EQ(l.phi, 2.0f * 30.0f * 3.14159265f / 180.0f);
    EXPECT_FLOAT_EQ(l.attenuation0, 0.5f);

    // A zero z row keeps its (negated) components instead of dividing by zero.
    matrix44 flat;
    flat.m[2][0] = flat.m[2][1] = flat.m[2][2] = 0.0f;
    gfx->SetMatrix(nGfxServer::MODELVIEW, flat);
    nLight dir;
    dir.type = nLight::DIRECTIONAL;
    EXPECT_TRUE(gfx->SetLight(dir));
    EXPECT_FALSE(std::isnan(device->GetLight(2).direction[0]));
    EXPECT_FLOAT_EQ(device->GetLight(2).direction[2], 0.0f);

    nLight bad;
    bad.type = 7;
    EXPECT_FALSE(gfx->SetLight(bad));
    EXPECT_TRUE(TakeErrors());
    nLight point;
    point.type = nLight::POINT;
    for (int i = 3; i < 8; ++i) EXPECT_TRUE(gfx->SetLight(point));
    EXPECT_FALSE(gfx->SetLight(point));
    gfx->EndScene();
    // Each frame starts without lights.
    ASSERT_TRUE(gfx->BeginScene());
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(device->IsLightEnabled(i));
    gfx->EndScene();
}

TEST_F(D3D8ServerTest, LitGeometryAgreesWithTheEnginesEyeSpace) {
    ASSERT_TRUE(Open(FullHal32));
    render::Device* device = gfx->GetDevice();
    render::Material white;
    white.diffuse = render::Color4{1.0f, 1.0f, 1.0f, 1.0f};
    struct Vertex {
        float x, y, z, nx, ny, nz;
    };
    // A square facing the viewer, 5 units ahead (the engine looks down -z).
    const Vertex square[6] = {{-1, -1, 0, 0, 0, 1}, {1, -1, 0, 0, 0, 1}, {1, 1, 0, 0, 0, 1},
                              {-1, -1, 0, 0, 0, 1}, {1, 1, 0, 0, 0, 1}, {-1, 1, 0, 0, 0, 1}};
    auto frame = [&](const matrix44& lightFrame) {
        EXPECT_TRUE(gfx->BeginScene());
        device->SetMaterial(white);
        device->SetRenderState(RenderState::CullMode, render::Cull::None);
        gfx->SetMatrix(nGfxServer::MODELVIEW, lightFrame);
        nLight light;
        light.type = nLight::DIRECTIONAL;
        light.g = light.b = 0.0f;
        EXPECT_TRUE(gfx->SetLight(light));
        matrix44 model;
        model.m[3][2] = -5.0f;
        gfx->SetMatrix(nGfxServer::MODELVIEW, model);
        EXPECT_TRUE(device->DrawUserPrimitives(render::PrimitiveType::TriangleList, 2,
                                               render::kVertexPosition | render::kVertexNormal, square,
                                               sizeof(Vertex)));
        gfx->EndScene();
    };
    // A light whose frame is the eye's shines down -z, onto the square's face.
    frame(matrix44());
    EXPECT_TRUE(ColorNear(Presented(400, 300), 0xFFFF0000u, 8));
    EXPECT_TRUE(ColorNear(Presented(20, 20), 0xFF000000u));
    // Turned around, it lights the square's back only.
    matrix44 behind;
    behind.RotateY(3.14159265f);
    frame(behind);
    EXPECT_TRUE(ColorNear(Presented(400, 300), 0xFF000000u, 8));
}

TEST_F(D3D8ServerTest, RenderStateCodesMapToDeviceStates) {
    ASSERT_TRUE(Open(FullHal32));
    const float fogColor[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    nRenderState color;
    color.state = 23;
    color.value.p = const_cast<float*>(fogColor);
    gfx->SetRenderState(color);
    EXPECT_EQ(DevState(RenderState::FogColor), 0xFFFF7F00u);
    gfx->SetRenderState(Rs(20, 10.0f));
    EXPECT_EQ(DevState(RenderState::FogStart), render::FloatBits(10.0f));
    gfx->SetRenderState(Rs(10, 3.7f));
    EXPECT_EQ(DevState(RenderState::ZBias), 3u);
    // Integer codes, in order: each changes one device state.
    const struct {
        int32_t code, value;
        RenderState state;
        uint32_t expected;
    } codes[] = {
        {19, 3, RenderState::FogVertexMode, render::FogMode::Exp2},
        {19, 9, RenderState::FogEnable, 0u},
        {19, 2, RenderState::FogEnable, 1u},
        {31, 51, RenderState::StencilFail, render::StencilOperation::Zero},
        {32, 54, RenderState::StencilZFail, render::StencilOperation::IncrementSaturate},
        {33, 99, RenderState::StencilPass, render::StencilOperation::Keep},
        {34, 17, RenderState::StencilFunc, render::Compare::LessEqual},
        {38, 1, RenderState::ColorWriteEnable, 15u},
        {38, 0, RenderState::ColorWriteEnable, 0u},
    };
    for (const auto& c : codes) {
        gfx->SetRenderState(Rs(c.code, c.value));
        EXPECT_EQ(DevState(c.state), c.expected) << c.code << " " << c.value;
    }
    EXPECT_TRUE(gfx->IsFogEnabled());
    gfx->SetRenderState(Rs(37, 2));
    EXPECT_EQ(gfx->GetStencilClear(), 2u);

    // Every frame begins without fog; colour writes off do not stop the clear (D16:
    // no stencil to clear, so the stencil clear value is not used).
    gfx->SetClearColor(1.0f, 1.0f, 0.0f, 1.0f);
    ASSERT_TRUE(gfx->BeginScene());
    EXPECT_FALSE(gfx->IsFogEnabled());
    EXPECT_EQ(DevState(RenderState::FogVertexMode), render::FogMode::None);
    gfx->EndScene();
    EXPECT_TRUE(ColorNear(Presented(300, 200), 0xFFFFFF00u));

    // Codes outside the table change nothing.
    gfx->SetRenderState(Rs(11, 1));
    gfx->SetRenderState(Rs(39, 1));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(D3D8ServerTest, GammaRampsScreenshotsAndErrorNames) {
    render::GammaRamp ramp;
    nD3D8Server::BuildGammaRamp(1.0f, 2.0f, -1.0f, ramp);
    EXPECT_EQ(ramp.red[100], 100 * 256 + 255);
    EXPECT_EQ(ramp.green[127], 254 * 256 + 255);  // brighter, then clamped
    EXPECT_EQ(ramp.green[128], 0xFFFF);
    EXPECT_EQ(ramp.blue[200], 255);               // a negative gamma is black
    EXPECT_STREQ(nD3D8Server::GetD3DErrorName(0x88760868), "D3DERR_DEVICELOST");
    EXPECT_STREQ(nD3D8Server::GetD3DErrorName(0x88760820), "*** UNDEFINED ***");

    ASSERT_TRUE(Open("type(full)-w(640)-h(480)-bpp(32)"));
    // The offscreen driver has no gamma: the device ramp stays the identity.
    gfx->SetGamma(2.0f, 2.0f, 2.0f);
    EXPECT_EQ(gfx->GetDevice()->GetGammaRamp().red[128], 128 * 257);
    EXPECT_FALSE(TakeErrors());

    gfx->SetClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    ASSERT_TRUE(gfx->BeginScene());
    const float rect[4] = {0.0f, 0.0f, 640.0f, 1.0f};
    nPixelFormat* format = nullptr;
    int pitch = 0;
    auto* top = static_cast<uint32_t*>(gfx->LockBackBuffer(rect, &format, &pitch));
    ASSERT_NE(top, nullptr);
    for (int x = 0; x < 640; ++x) top[x] = 0xFF00FF00u;  // the top row green
    gfx->UnlockBackBuffer();
    gfx->EndScene();

    const std::string full = Path("full.bmp"), scaled = Path("scaled.bmp");
    ASSERT_TRUE(gfx->Screenshot(full.c_str()));
    std::vector<uint8_t> bmp = ReadFileBytes(full);
    ASSERT_EQ(bmp.size(), 54u + 640u * 3u * 480u);
    // Rows run bottom-up in B, G, R order: the first row is red, the last green.
    const size_t last = 54 + 640 * 3 * 479;
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 54, bmp.begin() + 57), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + last, bmp.begin() + last + 3), (std::vector<uint8_t>{0, 255, 0}));

    ASSERT_TRUE(gfx->ScaledScreenshot(scaled.c_str(), 65, 48));
    bmp = ReadFileBytes(scaled);
    const size_t row = (65 * 3 + 3) & ~size_t(3);
    ASSERT_EQ(bmp.size(), 54u + row * 48u);
    EXPECT_EQ(bmp[18], 65);
    EXPECT_EQ(bmp[54 + 2], 255);
    EXPECT_EQ(bmp[54 + row * 47 + 1], 255);

    EXPECT_FALSE(gfx->ScaledScreenshot(scaled.c_str(), 0, 48));
    EXPECT_FALSE(gfx->Screenshot(Path("missing/x.bmp").c_str()));
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(gfx->Screenshot("/dev/full"));  // a full disk
    }
    EXPECT_TRUE(TakeErrors());
}

}  // namespace
