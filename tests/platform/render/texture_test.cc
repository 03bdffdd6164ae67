#include "platform/render/Device.h"
#include "platform/render/RenderSystem.h"
#include "platform/render/Texture.h"
#include "platform/render/TextureLoading.h"
#include "platform/window/Window.h"
#include "tests/platform/SdlTestEnvironment.h"

#include <cstring>
#include <vector>

namespace {

using namespace render;
using bwtest::ColorNear;

struct TexturedVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

class TextureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }

    void SetUp() override
    {
        this->win = window::Window::Open("Brinewick");
        ASSERT_NE(this->win, nullptr);
        this->system = RenderSystem::Open();
        ASSERT_NE(this->system, nullptr);
        PresentParameters p;
        p.backBufferWidth = 32;
        p.backBufferHeight = 32;
        p.waitForVerticalSync = false;
        this->device = this->system->OpenDevice(0, DeviceType::Hardware, *this->win,
                                                VertexProcessing::Hardware, p);
        ASSERT_NE(this->device, nullptr);
    }

    void TearDown() override
    {
        this->device.reset();
        this->system.reset();
        this->win.reset();
    }

    // Fills a whole level with one 0xAARRGGBB colour.
    static void Fill(Texture& texture, int level, uint32_t argb)
    {
        LevelDesc desc;
        ASSERT_TRUE(texture.GetLevelDesc(level, desc));
        const std::vector<uint32_t> pixels(static_cast<size_t>(desc.width) * desc.height, argb);
        ASSERT_TRUE(LoadLevelFromMemory(texture, level, pixels.data(), Format::A8R8G8B8, desc.width * 4,
                                        Rect{0, 0, desc.width, desc.height}, LevelFilter::None));
    }

    // The level's bytes as the lock shows them.
    static std::vector<uint8_t> Bytes(Texture& texture, int level)
    {
        LockedRect locked;
        LevelDesc desc;
        if (!texture.GetLevelDesc(level, desc) || !texture.LockRect(level, nullptr, locked)) {
            return {};
        }
        const auto* p = static_cast<const uint8_t*>(locked.bits);
        std::vector<uint8_t> out(p, p + desc.size);
        texture.UnlockRect(level);
        return out;
    }

    // The frame's centre after drawing the whole back buffer with stage 0's texture.
    uint32_t DrawCentre()
    {
        const float a = -0.5f;
        const float b = 31.5f;
        const uint32_t white = 0xFFFFFFFFu;
        const TexturedVertex quad[6] = {{a, a, 0.5f, 1, white, 0, 0}, {b, a, 0.5f, 1, white, 1, 0},
                                        {b, b, 0.5f, 1, white, 1, 1}, {a, a, 0.5f, 1, white, 0, 0},
                                        {b, b, 0.5f, 1, white, 1, 1}, {a, b, 0.5f, 1, white, 0, 1}};
        EXPECT_TRUE(this->device->BeginScene());
        this->device->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
        this->device->SetRenderState(RenderState::CullMode, Cull::None);
        EXPECT_TRUE(this->device->DrawUserPrimitives(PrimitiveType::TriangleList, 2,
                                                     kVertexPositionRhw | kVertexDiffuse | VertexTexSets(1),
                                                     quad, sizeof(TexturedVertex)));
        EXPECT_TRUE(this->device->EndScene());
        EXPECT_TRUE(this->device->Present());
        std::vector<uint32_t> pixels;
        int w = 0;
        int h = 0;
        EXPECT_TRUE(this->device->CopyFrontBuffer(pixels, w, h));
        return pixels[static_cast<size_t>(h / 2) * w + w / 2];
    }

    std::unique_ptr<window::Window> win;
    std::unique_ptr<RenderSystem> system;
    std::unique_ptr<Device> device;
};

TEST_F(TextureTest, LevelsSizesAndRefusals)
{
    auto chain = this->device->CreateTexture(64, 32, 0, Format::A4R4G4B4);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->GetLevelCount(), 7);
    LevelDesc desc;
    ASSERT_TRUE(chain->GetLevelDesc(6, desc));
    EXPECT_EQ(desc.width, 1);
    EXPECT_EQ(desc.height, 1);
    ASSERT_TRUE(chain->GetLevelDesc(1, desc));
    EXPECT_EQ(desc.pitch, 64);
    EXPECT_EQ(desc.size, 32u * 16u * 2u);
    EXPECT_FALSE(chain->GetLevelDesc(7, desc));
    EXPECT_EQ(this->device->CreateTexture(8, 8, 3, Format::R8G8B8)->GetLevelCount(), 3);
    EXPECT_EQ(this->device->CreateTexture(8, 8, 20, Format::R8G8B8)->GetLevelCount(), 4);

    const int max = this->device->GetCaps().maxTextureWidth;
    EXPECT_EQ(this->device->CreateTexture(0, 8, 1, Format::R5G6B5), nullptr);
    EXPECT_EQ(this->device->CreateTexture(max + 1, 8, 1, Format::R5G6B5), nullptr);
    EXPECT_EQ(this->device->CreateTexture(8, 8, -1, Format::R5G6B5), nullptr);
    EXPECT_EQ(this->device->CreateTexture(8, 8, 1, Format::D16), nullptr);

    // Locks stay inside their level, one at a time.
    LockedRect locked;
    const Rect outside{60, 0, 65, 4};
    EXPECT_FALSE(chain->LockRect(0, &outside, locked));
    const Rect empty{4, 4, 4, 8};
    EXPECT_FALSE(chain->LockRect(0, &empty, locked));
    EXPECT_FALSE(chain->UnlockRect(0));
    const Rect inside{2, 1, 4, 3};
    ASSERT_TRUE(chain->LockRect(0, &inside, locked));
    EXPECT_EQ(locked.pitch, 128);
    EXPECT_FALSE(chain->LockRect(0, nullptr, locked));
    EXPECT_TRUE(chain->UnlockRect(0));
}

TEST_F(TextureTest, LoadingConvertsFormatsAndScales)
{
    // One pixel of 0x80 alpha, red 0xFF, green 0xC0, blue 0x24 into every format.
    const uint32_t argb = 0x80FFC024u;
    struct Case {
        Format format;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {Format::A8R8G8B8, {0x24, 0xC0, 0xFF, 0x80}},
        {Format::X8R8G8B8, {0x24, 0xC0, 0xFF, 0x80}},
        {Format::R8G8B8, {0x24, 0xC0, 0xFF}},
        {Format::R5G6B5, {0x04, 0xFE}},      // 11111 110000 00100
        {Format::A4R4G4B4, {0xC2, 0x8F}},    // 1000 1111 1100 0010
        {Format::A1R5G5B5, {0x04, 0xFF}},    // 1 11111 11000 00100
    };
    for (const Case& c : cases) {
        auto t = this->device->CreateTexture(1, 1, 1, c.format);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(LoadLevelFromMemory(*t, 0, &argb, Format::A8R8G8B8, 4, Rect{0, 0, 1, 1}, LevelFilter::None));
        EXPECT_EQ(Bytes(*t, 0), c.bytes) << static_cast<int>(c.format);
    }

    // A source without alpha is opaque.
    auto x8 = this->device->CreateTexture(1, 1, 1, Format::A8R8G8B8);
    const uint8_t bgr[3] = {1, 2, 3};
    ASSERT_TRUE(LoadLevelFromMemory(*x8, 0, bgr, Format::R8G8B8, 3, Rect{0, 0, 1, 1}, LevelFilter::None));
    EXPECT_EQ(Bytes(*x8, 0), (std::vector<uint8_t>{1, 2, 3, 0xFF}));

    // Point filtering scales the rectangle onto the level; none copies what fits.
    const uint16_t src[4] = {0x1111, 0x2222, 0x3333, 0x4444};  // 2 x 2, 4 bytes a row
    auto big = this->device->CreateTexture(4, 4, 1, Format::R5G6B5);
    ASSERT_TRUE(LoadLevelFromMemory(*big, 0, src, Format::R5G6B5, 4, Rect{0, 0, 2, 2}, LevelFilter::Point));
    std::vector<uint8_t> b = Bytes(*big, 0);
    uint16_t at[16];
    std::memcpy(at, b.data(), sizeof(at));
    EXPECT_EQ(at[0], 0x1111);
    EXPECT_EQ(at[3], 0x2222);
    EXPECT_EQ(at[12], 0x3333);
    EXPECT_EQ(at[15], 0x4444);
    auto small = this->device->CreateTexture(1, 1, 1, Format::R5G6B5);
    ASSERT_TRUE(LoadLevelFromMemory(*small, 0, src, Format::R5G6B5, 4, Rect{1, 1, 2, 2}, LevelFilter::None));
    std::memcpy(at, Bytes(*small, 0).data(), 2);
    EXPECT_EQ(at[0], 0x4444);

    EXPECT_FALSE(LoadLevelFromMemory(*small, 1, src, Format::R5G6B5, 4, Rect{0, 0, 1, 1}, LevelFilter::None));
    EXPECT_FALSE(LoadLevelFromMemory(*small, 0, src, Format::R5G6B5, 2, Rect{0, 0, 2, 2}, LevelFilter::None));
    EXPECT_FALSE(LoadLevelFromMemory(*small, 0, src, Format::D16, 4, Rect{0, 0, 1, 1}, LevelFilter::None));
}

TEST_F(TextureTest, LevelOfDetailChoosesTheLevelSampled)
{
    auto t = this->device->CreateTexture(4, 4, 2, Format::X8R8G8B8);
    ASSERT_NE(t, nullptr);
    Fill(*t, 0, 0xFFFF0000u);
    Fill(*t, 1, 0xFF00FF00u);
    ASSERT_TRUE(this->device->SetTexture(0, t.get()));
    this->device->SetTextureStageState(0, StageState::MipFilter, TextureFilter::Point);
    EXPECT_TRUE(ColorNear(this->DrawCentre(), 0xFFFF0000u));
    EXPECT_EQ(t->SetLOD(1), 0);
    EXPECT_TRUE(ColorNear(this->DrawCentre(), 0xFF00FF00u));
    EXPECT_EQ(t->SetLOD(5), 1);
    EXPECT_EQ(t->GetLOD(), 1);
    t->SetLOD(0);
    EXPECT_TRUE(ColorNear(this->DrawCentre(), 0xFFFF0000u));

    // A disabled stage draws the vertex colour alone.
    this->device->SetTextureStageState(0, StageState::ColorOp, TextureOp::Disable);
    EXPECT_TRUE(ColorNear(this->DrawCentre(), 0xFFFFFFFFu));
    this->device->SetTextureStageState(0, StageState::ColorOp, TextureOp::Modulate);

    // A destroyed texture leaves its stage.
    t.reset();
    EXPECT_EQ(this->device->GetTexture(0), nullptr);
    EXPECT_TRUE(ColorNear(this->DrawCentre(), 0xFFFFFFFFu));
}

TEST_F(TextureTest, TexturesOutlivingTheirDeviceAreDetached)
{
    auto t = this->device->CreateTexture(2, 2, 1, Format::R5G6B5);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(this->device->SetTexture(0, t.get()));
    this->device.reset();
    // Still usable as memory, and freed without a device.
    Fill(*t, 0, 0xFFFFFFFFu);
    EXPECT_EQ(Bytes(*t, 0), std::vector<uint8_t>(8, 0xFF));
    t.reset();
}

}  // namespace
