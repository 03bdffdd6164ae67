#include <gtest/gtest.h>

#include <functional>
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

// Scaled and object-space text, white on the blue frame: the bounds of its pixels.
class FontPlacement : public TextFrame {
protected:
    struct Box {
        int x0 = Size, y0 = Size, x1 = -1, y1 = -1;
        bool Inside(float l, float t, float r, float b) const {
            return x1 >= x0 && x0 >= int(l) - 1 && y0 >= int(t) - 1 && x1 <= int(r) + 1 && y1 <= int(b) + 1;
        }
    };
    Box Frame(const std::function<void(render::Device*, nD3D8Font*)>& draw) {
        Box b;
        std::vector<uint32_t> p;
        int w = 0, h = 0;
        if (!BeginFrame()) return b;
        draw(gfx->GetDevice(), gfx->GetFont());
        gfx->EndScene();
        EXPECT_TRUE(gfx->GetDevice()->CopyFrontBuffer(p, w, h));
        for (int i = 0; i < w * h; ++i)
            if ((p[size_t(i)] & 0x8080u) == 0x8080u)
                b = {std::min(b.x0, i % w), std::min(b.y0, i / w), std::max(b.x1, i % w), std::max(b.y1, i / w)};
        return b;
    }
    // A camera along +z at 16 pixels a unit; the text at (x, y, 5), turned round y when asked.
    static void Place(render::Device* d, float x, float y, bool turned = false) {
        render::Matrix m = render::IdentityMatrix();
        d->SetTransform(render::TransformKind::View, m);
        m[0] = m[5] = 0.5f, m[10] = 0.1f;
        d->SetTransform(render::TransformKind::Projection, m);
        m = render::IdentityMatrix();
        m[0] = m[10] = turned ? -1.0f : 1.0f, m[12] = x, m[13] = y, m[14] = 5.0f;
        d->SetTransform(render::TransformKind::World, m);
    }
};

TEST_F(FontPlacement, ScaledTextStartsMidViewportAtASizeThatFollowsTheViewport) {
    int w = 0, h = 0;
    gfx->GetFont()->GetTextExtent("H", w, h);
    // Half a viewport high: in the whole frame, then in its top-right quarter.
    Box box[2];
    for (int i = 0; i < 2; ++i) {
        box[i] = Frame([i](render::Device* d, nD3D8Font* f) {
            const render::Viewport whole = d->GetViewport();
            if (i == 1) d->SetViewport(render::Viewport{32, 0, 32, 32});
            f->DrawTextScaled(0.0f, 0.0f, 0.5f, 0.5f, 0.5f, 0xFFFFFFFFu, "H");
            d->SetViewport(whole);
        });
        const float line = i == 0 ? 32.0f : 16.0f, x = i == 0 ? 32.0f : 48.0f, y = i == 0 ? 32.0f : 16.0f;
        EXPECT_TRUE(box[i].Inside(x, y, x + float(w) * line / float(h), y + line)) << i;
    }
    EXPECT_NEAR(box[0].x1 - box[0].x0, 2 * (box[1].x1 - box[1].x0), 2);
    EXPECT_NEAR(box[0].y1 - box[0].y0, 2 * (box[1].y1 - box[1].y0), 2);
}

TEST_F(FontPlacement, ObjectSpaceTextLandsUnderItsTransformCentredOnRequestAndBehindOnlyTwoSided) {
    int w = 0, h = 0;
    gfx->GetFont()->GetTextExtent("HH", w, h);
    const float pw = float(w) * 1.6f, ph = float(h) * 1.6f;  // a glyph pixel is a tenth of a unit
    auto draw = [this](float x, float y, bool turned, uint32_t flags) {
        return Frame([&](render::Device* d, nD3D8Font* f) { Place(d, x, y, turned), f->Render3DText("HH", flags); });
    };
    // Uncentred it stands on its origin: (-1, -0.5) is pixel (16, 40).
    EXPECT_TRUE(draw(-1.0f, -0.5f, false, 0).Inside(16.0f, 40.0f - ph, 16.0f + pw, 40.0f));
    const Box centred = draw(0.0f, 0.0f, false, nD3D8Font::CENTERED);
    EXPECT_TRUE(centred.Inside(32.0f - pw / 2, 32.0f - ph / 2, 32.0f + pw / 2, 32.0f + ph / 2));
    EXPECT_NEAR(centred.x0 + centred.x1, Size, 3);
    // Turned away, only two-sided text shows, in the same place.
    EXPECT_EQ(draw(0.0f, 0.0f, true, nD3D8Font::CENTERED).x1, -1);
    EXPECT_NEAR(draw(0.0f, 0.0f, true, nD3D8Font::CENTERED | nD3D8Font::TWOSIDED).x0, centred.x0, 2);
}

TEST_F(FontPlacement, BothDrawSixtyCharactersInTwoBatchesAndGiveTheStateBack) {
    using render::RenderState;
    Frame([](render::Device* d, nD3D8Font* f) {
        auto state = [d] {
            return std::vector<uint32_t>{d->GetRenderState(RenderState::CullMode),
                                         d->GetRenderState(RenderState::ZEnable),
                                         d->GetRenderState(RenderState::AlphaTestEnable),
                                         d->GetTextureStageState(0, render::StageState::MinFilter)};
        };
        d->SetRenderState(RenderState::CullMode, render::Cull::Cw);
        Place(d, -2.0f, 0.0f);
        const std::string sixty(60, 'a');
        const uint32_t flags = nD3D8Font::FILTERED | nD3D8Font::TWOSIDED | nD3D8Font::CENTERED;
        for (int op = 0; op < 2; ++op) {
            const std::vector<uint32_t> before = state();
            const int batches = f->GetBatchCount();
            if (op == 0) f->DrawTextScaled(-1.0f, -1.0f, 0.5f, 0.1f, 0.1f, 0xFFFFFFFFu, sixty.c_str(), flags);
            if (op == 1) f->Render3DText(sixty.c_str(), flags);
            EXPECT_EQ(f->GetBatchCount() - batches, 2) << op;
            EXPECT_EQ(state(), before) << op;
        }
    });
    ASSERT_FALSE(TakeErrors());
}

}  // namespace
