// Lens flares, halos, overlay planes and shadow control nodes: their numbers, their
// shared index buffers and what they draw on the OpenGL device.
#include <cmath>
#include <string>

#include "gfx/nIndexBuffer.h"
#include "scene/EffectBuffers.h"
#include "scene/nHalo.h"
#include "scene/nLenseFlare.h"
#include "scene/nShadowServer.h"
#include "tests/scene/DrawFixture.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u;
constexpr uint32_t White = 0xFFFFFFFFu;

// A scene "/scene" with a transform `name` at (x, y, z) holding a shader that draws
// vertex colours unlit (blending as asked) and then `visual`.
std::string Placed(const char* name, float x, float y, float z, bool blend, const std::string& visual) {
    return std::string("sel('/scene'); new('n3dnode', '") + name + "'); sel('" + name + "'); txyz(" +
           std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z) +
           "); new('nshadernode', 's'); sel('s'); setlightenable(false); setcullmode('none'); setalphaenable(" +
           (blend ? "true" : "false") + "); sel('..'); " + visual + " sel('/'); ";
}

class EffectNodesTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        ASSERT_TRUE(Run("new('n3dnode', '/scene')"));
    }
};

TEST_F(EffectNodesTest, OverlayTintsTheWholeScreenUnlessItsColourPacksToZero) {
    EXPECT_EQ(effect::PackColor(nGfxServer::BGRA, 0, 0, 0, 0.003f), 0u);
    EXPECT_EQ(effect::PackColor(nGfxServer::BGRA, 0, 0, 0, 0.004f), 0x01000000u);
    EXPECT_EQ(effect::PackColor(nGfxServer::RGBA, 1, 0.5f, 0, 1), 0xFF007F00u | 0xFFu);

    ASSERT_TRUE(Run(Placed("tint", 0, 0, 0, true, "new('noverlayplane', 'o'); sel('o'); setcolor(1, 0, 0, 0.5);")));
    Frame("/scene");
    for (int p : {2, 32, 61}) EXPECT_TRUE(ColorNear(Presented(p, 63 - p), 0xFF7F007F, 4)) << p;
    // Unblended, alpha 0.003 packs to transparent black and is skipped; 0.004 draws black.
    ASSERT_TRUE(Run("sel('/scene/tint/s'); setalphaenable(false); sel('../o'); setcolor(0, 0, 0, 0.003)"));
    Frame("/scene");
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
    ASSERT_TRUE(Run("sel('/scene/tint/o'); setcolor(0, 0, 0, 0.004)"));
    Frame("/scene");
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF000000u));
    nIndexBuffer* ib = gfx->FindIndexBuffer("noverlayplane_ibuf");
    ASSERT_NE(ib, nullptr);
    EXPECT_EQ(ib->GetCapacity(), 6);
    ib->Release();
    EXPECT_FALSE(TakeErrors());
}

TEST_F(EffectNodesTest, HaloSizeAndBrightnessFollowTheDistance) {
    auto* halo = static_cast<nHalo*>(kernel->New("nhalo", "/h"));
    struct {
        float d, half, bright;
    } rows[] = {{0.1f, 0.2f, 1.0f}, {0.5f, 0.2f, 1.0f}, {5.25f, 1.1f, 0.65f}, {10.0f, 2.0f, 0.3f}, {40.0f, 2.0f, 0.3f}};
    for (const auto& r : rows) {
        float h, b;
        halo->SizeAt(r.d, h, b);
        EXPECT_NEAR(h, r.half, 1e-5f) << r.d;
        EXPECT_NEAR(b, r.bright, 1e-5f) << r.d;
    }
    EXPECT_EQ(int(0.3f * 255.0f), 76);
    ASSERT_TRUE(Run("sel('/h'); setmaxsize(6); setmindistance(3); setmaxdistance(3)"));
    EXPECT_FLOAT_EQ(halo->GetMaxSize(), 6.0f);
    float h, b;
    halo->SizeAt(3.0f, h, b);
    EXPECT_TRUE(std::isfinite(h) && std::isfinite(b));

    // Drawn half a unit away: a white square of half-size 0.2 around the centre.
    ASSERT_TRUE(Run(Placed("glow", 0, 0, -0.5f, false, "new('nhalo', 'halo');")));
    Frame("/scene");
    EXPECT_TRUE(ColorNear(Presented(32, 32), White));
    EXPECT_TRUE(ColorNear(Presented(27, 37), White));
    EXPECT_TRUE(ColorNear(Presented(22, 32), Clear));
    EXPECT_TRUE(ColorNear(Presented(32, 42), Clear));
    nIndexBuffer* ib = gfx->FindIndexBuffer("bhalo_ibuf");
    ASSERT_NE(ib, nullptr);
    EXPECT_EQ(ib->GetType(), nIndexBuffer::TRIANGLESTRIP);
    ASSERT_EQ(ib->GetCapacity(), 4);
    ASSERT_TRUE(ib->Lock());
    EXPECT_EQ(std::vector<int>(ib->GetLockPtr(), ib->GetLockPtr() + 4), (std::vector<int>{0, 1, 3, 2}));
    ib->Unlock();
    ib->Release();
    EXPECT_FALSE(TakeErrors());
}

TEST_F(EffectNodesTest, FlaresLieOnTheLineThroughTheScreenCentre) {
    EXPECT_EQ(effect::PackColor(nGfxServer::BGRA, 1 * 1, 0 * 1, 0 * 1, 1 * 0.5f), 0x7FFF0000u);
    // The light at (0.5, 0.5): flare 0 sits on the screen centre, flare 1 on the light.
    ASSERT_TRUE(Run(Placed("sun", 0.5f, 0.5f, -0.5f, false,
                           "new('nlenseflare', 'flare'); sel('flare'); beginflares(2); "
                           "setflaresizeat(0, 0.5); setflarecolorat(0, 1, 0, 0, 1); setflareposat(1, 0); "
                           "setflarecolorat(1, 1, 0, 0, 1); setflaresizeat(5, 1);")));
    EXPECT_TRUE(TakeErrors());  // flare 5 of 2
    // Not active before endflares: nothing is drawn.
    Frame("/scene");
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
    ASSERT_TRUE(Run("sel('/scene/sun/flare'); endflares()"));
    Frame("/scene");
    // Size 0.5: half-height 0.25 (8 pixels), half-width 0.1875 (6 pixels).
    EXPECT_TRUE(ColorNear(Presented(32, 32), Red));
    EXPECT_TRUE(ColorNear(Presented(37, 25), Red));
    EXPECT_TRUE(ColorNear(Presented(39, 32), Clear));
    EXPECT_TRUE(ColorNear(Presented(32, 41), Clear));
    EXPECT_TRUE(ColorNear(Presented(48, 16), Red));

    // A light outside the screen draws nothing.
    ASSERT_TRUE(Run("sel('/scene/sun'); txyz(1.5, 0, -0.5)"));
    Frame("/scene");
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
    // Behind the viewer (w not above 0) nothing is projected.
    matrix44 mv, persp;
    mv.m[3][2] = 1.0f;
    persp.m[2][3] = -1.0f, persp.m[3][3] = 0.0f;
    float p[4];
    EXPECT_FALSE(effect::ProjectOrigin(mv, persp, p));
    mv.m[3][2] = -1.0f;
    EXPECT_TRUE(effect::ProjectOrigin(mv, persp, p));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(EffectNodesTest, TheSharedFlareBufferGrowsForLongerFlareRows) {
    ASSERT_TRUE(Run(Placed("a", 0, 0, -0.5f, false, "new('nlenseflare', 'f'); sel('f'); beginflares(1); endflares();") +
                    Placed("b", 0, 0, -0.5f, false, "new('nlenseflare', 'f'); sel('f'); beginflares(3); endflares();")));
    Frame("/scene");
    nIndexBuffer* ib = gfx->FindIndexBuffer("nlenseflare_ibuf");
    ASSERT_NE(ib, nullptr);
    EXPECT_EQ(ib->GetCapacity(), 18);
    ASSERT_TRUE(ib->Lock());
    EXPECT_EQ(ib->GetLockPtr()[17], 8);
    ib->Unlock();
    // More flares after the buffers exist: they are made again for the new count.
    ASSERT_TRUE(Run("sel('/scene/a/f'); beginflares(5); endflares()"));
    Frame("/scene");
    EXPECT_EQ(ib->GetCapacity(), 30);
    ib->Release();

    auto* f = static_cast<nLenseFlare*>(Lookup("/scene/b/f"));
    f->SetFlareColor(2, 0.5f, 0.25f, 0, 1);
    ASSERT_TRUE(f->SaveAs(Path("flare").c_str()));
    kernel->SetCwd(nullptr);
    f->SetName("old");
    auto* back = static_cast<nLenseFlare*>(kernel->Load(Path("flare.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetNumFlares(), 3);
    EXPECT_FLOAT_EQ(back->GetFlare(2).color[1], 0.25f);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(EffectNodesTest, TheShadowControlComputedLastSetsTheShadowColour) {
    auto* shadow = static_cast<nShadowServer*>(Lookup("/sys/servers/shadow"));
    ASSERT_TRUE(Run("sel('/scene'); new('nshadowcontrol', 'fresh'); new('n3dnode', 'later'); sel('later'); "
                    "new('nshadowcontrol', 'dark'); sel('dark'); setcolor(0.1, 0.2, 0.3, 0.7); sel('/')"));
    Frame("/scene");
    float c[4];
    shadow->GetShadowColor(c[0], c[1], c[2], c[3]);
    EXPECT_FLOAT_EQ(c[3], 0.7f);
    EXPECT_FLOAT_EQ(c[1], 0.2f);
    // Without the later one, the fresh node's (0, 0, 0, 0) hides shadows.
    ASSERT_TRUE(Run("sel('/scene/later'); setactive(false); sel('/')"));
    Frame("/scene");
    shadow->GetShadowColor(c[0], c[1], c[2], c[3]);
    EXPECT_EQ(c[3], 0.0f);
    EXPECT_EQ(c[0], 0.0f);
}

}  // namespace
