// The frame recorder: a frame's GL calls replayed from memory draw the frame again, with
// what its uploads, mapped buffers and client arrays held when it was recorded; frames
// that make GL objects are refused.
#include "platform/render/Device.h"
#include "platform/render/GlHeaders.h"
#include "platform/render/GlRecorder.h"
#include "platform/render/RenderSystem.h"
#include "platform/render/Texture.h"
#include "platform/window/Window.h"
#include "tests/platform/SdlTestEnvironment.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace render;
using bwtest::ColorNear;

constexpr int W = 64, H = 48;
constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

struct ColorVertex {
    float x, y, z;
    uint32_t color;
};
struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

class GlRecorderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }

    void SetUp() override
    {
        this->win = window::Window::Open("Brinewick", W, H, 16, 0);
        ASSERT_NE(this->win, nullptr);
        this->system = RenderSystem::Open();
        ASSERT_NE(this->system, nullptr);
        PresentParameters p;
        p.backBufferWidth = W;
        p.backBufferHeight = H;
        p.waitForVerticalSync = false;
        this->device = this->system->OpenDevice(0, DeviceType::Hardware, *this->win, VertexProcessing::Hardware, p);
        ASSERT_NE(this->device, nullptr);
        // The replay draws where the recorded frame drew: the window's buffer, read here.
        ASSERT_TRUE(this->device->IsDrawingIntoWindow());
    }

    void TearDown() override
    {
        this->device.reset();
        this->system.reset();
        this->win.reset();
    }

    // A pixel of the window's buffer, rows from the top.
    uint32_t Pixel(int x, int y)
    {
        uint32_t p = 0;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glReadPixels(x, H - 1 - y, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &p);
        this->device->ForgetBindings();
        return p | 0xFF000000u;
    }

    std::unique_ptr<window::Window> win;
    std::unique_ptr<RenderSystem> system;
    std::unique_ptr<Device> device;
};

TEST_F(GlRecorderTest, AReplayedFrameDrawsWhatItsUploadsAndClientArraysHeld)
{
    Device& d = *this->device;
    std::unique_ptr<DeviceBuffer> vb = d.CreateVertexBuffer(3 * sizeof(ColorVertex), BufferUsage::Dynamic);
    std::unique_ptr<DeviceBuffer> ib = d.CreateIndexBuffer(3, BufferUsage::Static);
    std::unique_ptr<Texture> texture = d.CreateTexture(4, 4, 1, Format::A8R8G8B8);
    ASSERT_TRUE(vb && ib && texture);
    auto* idx = static_cast<uint16_t*>(ib->Lock(0, 6, 0));
    ASSERT_NE(idx, nullptr);
    idx[0] = 0;
    idx[1] = 1;
    idx[2] = 2;
    ASSERT_TRUE(ib->Unlock());
    d.SetRenderState(RenderState::Lighting, 0);
    d.SetRenderState(RenderState::CullMode, Cull::None);

    std::vector<ScreenVertex> quad;
    // Drawn once before it is recorded, so that what the device makes at first use is made.
    auto frame = [&] {
        ASSERT_TRUE(d.BeginScene());
        ASSERT_TRUE(d.Clear(kClearTarget | kClearDepth, kBlue, 1.0f, 0));
        // A red triangle over the left half, written into a mapped buffer in the frame.
        auto* v = static_cast<ColorVertex*>(vb->Lock(0, 3 * sizeof(ColorVertex), kLockDiscard));
        ASSERT_NE(v, nullptr);
        v[0] = {-1.0f, -1.0f, 0.5f, kRed};
        v[1] = {0.0f, -1.0f, 0.5f, kRed};
        v[2] = {-1.0f, 1.0f, 0.5f, kRed};
        ASSERT_TRUE(vb->Unlock());
        ASSERT_TRUE(d.SetStreamSource(vb.get(), sizeof(ColorVertex)));
        ASSERT_TRUE(d.SetVertexFormat(kVertexPosition | kVertexDiffuse));
        ASSERT_TRUE(d.SetIndices(ib.get(), 0));
        ASSERT_TRUE(d.DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 3, 0, 1));
        // A green texture uploaded in the frame, on a quad from client memory at the right.
        LockedRect locked;
        ASSERT_TRUE(texture->LockRect(0, nullptr, locked));
        for (int y = 0; y < 4; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
            for (int x = 0; x < 4; ++x) row[x] = kGreen;
        }
        ASSERT_TRUE(texture->UnlockRect(0));
        ASSERT_TRUE(d.SetTexture(0, texture.get()));
        quad = {
            {40, 8, 0.5f, 1, 0xFFFFFFFFu, 0, 0},  {60, 8, 0.5f, 1, 0xFFFFFFFFu, 1, 0},
            {60, 40, 0.5f, 1, 0xFFFFFFFFu, 1, 1}, {40, 8, 0.5f, 1, 0xFFFFFFFFu, 0, 0},
            {60, 40, 0.5f, 1, 0xFFFFFFFFu, 1, 1}, {40, 40, 0.5f, 1, 0xFFFFFFFFu, 0, 1},
        };
        ASSERT_TRUE(d.DrawUserPrimitives(PrimitiveType::TriangleList, 2,
                                         kVertexPositionRhw | kVertexDiffuse | VertexTexSets(1), quad.data(),
                                         sizeof(ScreenVertex)));
        ASSERT_TRUE(d.SetTexture(0, nullptr));
        ASSERT_TRUE(d.EndScene());
        ASSERT_TRUE(d.Present());
    };
    frame();
    GlRecording recording;
    GlRecorder::Begin(recording);
    frame();
    ASSERT_TRUE(GlRecorder::End()) << recording.GetRefusal();
    EXPECT_FALSE(glRecording);

    const int probes[3][2] = {{4, 40}, {50, 24}, {30, 4}};
    const uint32_t expected[3] = {kRed, kGreen, kBlue};
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(ColorNear(this->Pixel(probes[i][0], probes[i][1]), expected[i]));

    // What the frame read from memory is gone or changed: the replay has its own copies.
    std::memset(quad.data(), 0, quad.size() * sizeof(ScreenVertex));
    ASSERT_TRUE(d.BeginScene());
    ASSERT_TRUE(d.Clear(kClearTarget | kClearDepth, 0xFF000000u, 1.0f, 0));
    void* bytes = vb->Lock(0, 3 * sizeof(ColorVertex), kLockDiscard);
    ASSERT_NE(bytes, nullptr);
    std::memset(bytes, 0, 3 * sizeof(ColorVertex));
    ASSERT_TRUE(vb->Unlock());
    ASSERT_TRUE(d.EndScene());
    ASSERT_TRUE(d.Present());
    EXPECT_TRUE(ColorNear(this->Pixel(50, 24), 0xFF000000u));

    for (int run = 0; run < 2; ++run) {
        recording.Replay();
        glFinish();
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(ColorNear(this->Pixel(probes[i][0], probes[i][1]), expected[i])) << "run " << run << ", probe " << i;
        }
    }
}

// The copies cover exactly what the calls read: vertices from the lowest index on (not
// from vertex 0) with indices in memory, and a texture rectangle's rows out of the whole
// level's width.
TEST_F(GlRecorderTest, CopiesCoverIndexedVerticesFromTheirLowestIndexAndRectanglesOfRows)
{
    Device& d = *this->device;
    std::unique_ptr<Texture> texture = d.CreateTexture(8, 8, 1, Format::A8R8G8B8);
    ASSERT_NE(texture, nullptr);
    d.SetRenderState(RenderState::Lighting, 0);
    d.SetRenderState(RenderState::CullMode, Cull::None);
    // Vertex 0 is never named; the triangle covers the right half.
    std::vector<ScreenVertex> vertices = {{0, 0, 0.5f, 1, kRed, 0, 0},
                                          {32, 0, 0.5f, 1, 0xFFFFFFFFu, 0.9f, 0.9f},
                                          {64, 0, 0.5f, 1, 0xFFFFFFFFu, 0.9f, 0.9f},
                                          {64, 48, 0.5f, 1, 0xFFFFFFFFu, 0.9f, 0.9f},
                                          {32, 48, 0.5f, 1, 0xFFFFFFFFu, 0.9f, 0.9f}};
    std::vector<uint16_t> indices = {1, 2, 3, 1, 3, 4};
    auto frame = [&](uint32_t color) {
        ASSERT_TRUE(d.BeginScene());
        ASSERT_TRUE(d.Clear(kClearTarget | kClearDepth, kBlue, 1.0f, 0));
        // The lower right quarter of the texture, locked alone.
        const Rect quarter{4, 4, 8, 8};
        LockedRect locked;
        ASSERT_TRUE(texture->LockRect(0, &quarter, locked));
        for (int y = 0; y < 4; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
            for (int x = 0; x < 4; ++x) row[x] = color;
        }
        ASSERT_TRUE(texture->UnlockRect(0));
        ASSERT_TRUE(d.SetTexture(0, texture.get()));
        // Screen-space vertices cannot be indexed from memory: the texture shows through a
        // plain draw of the two triangles the indices name, copied out here.
        std::vector<ScreenVertex> named;
        for (uint16_t i : indices) named.push_back(vertices[i]);
        ASSERT_TRUE(d.DrawUserPrimitives(PrimitiveType::TriangleList, 2,
                                         kVertexPositionRhw | kVertexDiffuse | VertexTexSets(1), named.data(),
                                         sizeof(ScreenVertex)));
        ASSERT_TRUE(d.SetTexture(0, nullptr));
        // A red triangle over the left half from indices in memory, vertex 0 unnamed.
        const ColorVertex left[4] = {{9, 9, 9, 0}, {-1, -1, 0.5f, kRed}, {0, -1, 0.5f, kRed}, {-1, 1, 0.5f, kRed}};
        const uint16_t leftIndices[3] = {1, 2, 3};
        ASSERT_TRUE(d.DrawIndexedUserPrimitives(PrimitiveType::TriangleList, 1, 3, 1, leftIndices,
                                                kVertexPosition | kVertexDiffuse, left, sizeof(ColorVertex)));
        ASSERT_TRUE(d.EndScene());
        ASSERT_TRUE(d.Present());
    };
    frame(kGreen);
    GlRecording recording;
    GlRecorder::Begin(recording);
    frame(kGreen);
    ASSERT_TRUE(GlRecorder::End()) << recording.GetRefusal();
    frame(kBlue | 0xFF000000u);
    EXPECT_TRUE(ColorNear(this->Pixel(50, 24), kBlue));
    recording.Replay();
    glFinish();
    EXPECT_TRUE(ColorNear(this->Pixel(50, 24), kGreen));
    EXPECT_TRUE(ColorNear(this->Pixel(4, 40), kRed));
}

TEST_F(GlRecorderTest, AFrameThatMakesObjectsIsRefused)
{
    GlRecording recording;
    GlRecorder::Begin(recording);
    std::unique_ptr<Texture> texture = this->device->CreateTexture(4, 4, 1, Format::A8R8G8B8);
    ASSERT_NE(texture, nullptr);
    EXPECT_FALSE(GlRecorder::End());
    EXPECT_FALSE(recording.IsComplete());
    EXPECT_NE(recording.GetRefusal(), "");
    EXPECT_FALSE(glRecording);
}

}  // namespace
