#include <gtest/gtest.h>

#include <string>

#include "gfx/nD3D8Font.h"
#include "gfx/nD3D8Server.h"
#include "platform/render/Device.h"
#include "tests/gfx/VertexTestServer.h"

namespace {

using bwtest::ColorNear;
constexpr uint32_t Yellow = 0xFFFFFF00u;


class TextFrame : public VertexTestServer {
protected:
    int Count(uint32_t color, int x0, int y0, int x1, int y1) {
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        EXPECT_TRUE(gfx->GetDevice()->CopyFrontBuffer(pixels, w, h));
        int n = 0;
        for (int y = y0; y < y1 && y < h; ++y)
            for (int x = x0; x < x1 && x < w; ++x)
                if (ColorNear(pixels[size_t(y) * size_t(w) + size_t(x)] | 0xFF000000u, color, 8)) ++n;
        return n;
    }
    // A frame with "Hallo Welt" queued at the top-left corner.
    void TextFrameAtCorner() {
        ASSERT_TRUE(gfx->BeginScene());
        gfx->SetTextPos(-1.0f, -1.0f);
        gfx->SetTextColor(1.0f, 1.0f, 0.0f, 1.0f);
        EXPECT_TRUE(gfx->Text("Hallo Welt"));
        EXPECT_EQ(gfx->GetQueuedTextCount(), 1);
        gfx->EndScene();
    }
};

TEST_F(TextFrame, QueuedTextDrawsAtItsPlaceInItsColourAndTheQueueEmpties) {
    TextFrameAtCorner();
    EXPECT_EQ(gfx->GetQueuedTextCount(), 0);
    EXPECT_GT(Count(Yellow, 0, 0, 64, 20), 10);
    EXPECT_EQ(Count(Yellow, 0, 24, 64, 64), 0);
    // The next frame draws no text.
    ASSERT_TRUE(gfx->BeginScene());
    gfx->EndScene();
    EXPECT_EQ(Count(Yellow, 0, 0, 64, 64), 0);

    // After a device reset the font draws again.
    gfx->GetDevice()->SimulateDeviceState(render::DeviceState::NeedsReset);
    TextFrameAtCorner();
    EXPECT_TRUE(gfx->GetFont()->HasDeviceObjects());
    EXPECT_GT(Count(Yellow, 0, 0, 64, 20), 10);
    ASSERT_FALSE(TakeErrors());
}

TEST_F(TextFrame, OnlyAQueueWithTextTurnsFogOff) {
    render::Device* d = gfx->GetDevice();
    ASSERT_TRUE(gfx->BeginScene());
    d->SetRenderState(render::RenderState::FogEnable, 1);
    gfx->EndScene();
    EXPECT_EQ(d->GetRenderState(render::RenderState::FogEnable), 1u);
    ASSERT_TRUE(gfx->BeginScene());
    d->SetRenderState(render::RenderState::FogEnable, 1);
    gfx->Text("x");
    gfx->EndScene();
    EXPECT_EQ(d->GetRenderState(render::RenderState::FogEnable), 0u);
    // Drawing the text restores the states it changed.
    EXPECT_EQ(d->GetRenderState(render::RenderState::ZEnable), 1u);
    EXPECT_EQ(d->GetRenderState(render::RenderState::AlphaTestEnable), 0u);
    ASSERT_FALSE(TakeErrors());
}

TEST_F(TextFrame, FontTextureSizesExtentsAndBatches) {
    render::Device* d = gfx->GetDevice();
    for (auto [height, size] : {std::pair{10u, 256u}, {21u, 512u}, {41u, 1024u}}) {
        nD3D8Font font("Trebuchet MS", height, nD3D8Font::BOLD);
        ASSERT_TRUE(font.InitDeviceObjects(d));
        EXPECT_EQ(font.GetTextureWidth(), size);
        EXPECT_EQ(font.GetTextureHeight(), size);
    }
    nD3D8Font* font = gfx->GetFont();
    ASSERT_NE(font, nullptr);
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0, w3 = 0, h3 = 0;
    font->GetTextExtent("Hallo", w1, h1);
    font->GetTextExtent("Hallo\nWelt!!", w2, h2);
    EXPECT_GT(w1, 0);
    EXPECT_EQ(h2, 2 * h1);
    int wb = 0, hb = 0;
    font->GetTextExtent("Welt!!", wb, hb);
    EXPECT_EQ(w2, std::max(w1, wb));
    // Control characters take no room.
    font->GetTextExtent("Ha\x01l\tlo", w3, h3);
    EXPECT_EQ(w3, w1);
    EXPECT_EQ(h3, h1);

    ASSERT_TRUE(gfx->BeginScene());
    const int before = font->GetBatchCount();
    font->DrawText(0.0f, 0.0f, 0xFFFFFFFFu, std::string(60, 'a').c_str());
    EXPECT_EQ(font->GetBatchCount() - before, 2);
    font->DrawText(0.0f, 0.0f, 0xFFFFFFFFu, std::string(49, 'a').c_str());
    EXPECT_EQ(font->GetBatchCount() - before, 3);
    // Characters below 32 and 255 draw nothing.
    font->DrawText(0.0f, 0.0f, 0xFFFFFFFFu, "\x01\x02\xff\x1f");
    EXPECT_EQ(font->GetBatchCount() - before, 3);
    gfx->EndScene();
    ASSERT_FALSE(TakeErrors());
}

}  // namespace
