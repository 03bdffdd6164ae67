// The heads-up display's movies on the OpenGL device, read back at 800 x 600: the bars,
// the figures with the pictures our generator draws, and the display hiding its parts.
#include <gtest/gtest.h>

#include "game/nGamePackage.h"
#include "game/nbwUwMenu.h"
#include "logic/nLogicFlash.h"
#include "tests/logic/SpriteFixture.h"

namespace {

using UwMenuDrawTest = SpriteFixture;

TEST_F(UwMenuDrawTest, TheEnergyBarFillsToItsValue) {
    Open(800, 600);
    ASSERT_TRUE(Run("new('nlogicflash', '/usr/logic/energy') sel('/usr/logic/energy') "
                    "settexture('home:flash/energy.movie') "
                    "new('nlogicflash', '/usr/logic/status') sel('/usr/logic/status') "
                    "settexture('home:flash/statusbar.movie')"));
    auto* energy = static_cast<nLogicFlash*>(kernel->Lookup("/usr/logic/energy"));
    energy->SetPosition(660.0f, 495.0f);
    energy->SetDimension(28.0f, 95.0f);
    auto* status = static_cast<nLogicFlash*>(kernel->Lookup("/usr/logic/status"));
    status->SetPosition(100.0f, 0.0f);
    status->SetDimension(512.0f, 24.0f);
    ASSERT_TRUE(energy->SetValue("value", "100"));
    ASSERT_TRUE(status->SetValue("text", "Hilfe"));
    Frame();
    Frame();
    // Near the column's top: the fill at 100, the background at 10.
    EXPECT_TRUE(bwtest::ColorNear(At(674, 505), 0xFFFFD91Au)) << std::hex << At(674, 505);
    ASSERT_TRUE(energy->SetValue("value", "10"));
    energy->RequestUpdates();
    Frame();
    Frame();
    EXPECT_FALSE(bwtest::ColorNear(At(674, 505), 0xFFFFD91Au)) << std::hex << At(674, 505);
    EXPECT_FALSE(bwtest::ColorNear(At(674, 505), Black));
    // The text stands whole inside the line: white glyph pixels in its upper half, not
    // only at its bottom edge.
    int lit = 0;
    for (int y = 2; y < 12; ++y)
        for (int x = 100; x < 160; ++x) lit += bwtest::ColorNear(At(x, y), 0xFFFFFFFFu, 60) ? 1 : 0;
    EXPECT_GT(lit, 5);
    // The status line keeps its text beside the drawing call of that name.
    const char* text = status->GetValue("text");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Hilfe");
    EXPECT_FALSE(TakeErrors());
}

// The figure movies with the pictures that tools/datagen/gen_hud.py draws, from the
// archive the build packs.
class HudFigureDrawTest : public SpriteFixture {
protected:
    void SetUp() override {
        SpriteFixture::SetUp();
        nGamePackage(kernel);
        Open(800, 600);
    }
    nLogicFlash* Figure(const char* path, const char* movie, float x, float y, float w, float h) {
        auto* f = static_cast<nLogicFlash*>(kernel->New("nlogicflash", path));
        f->SetTexture((std::string("home:flash/") + movie + ".movie").c_str());
        f->SetPosition(x, y);
        f->SetDimension(w, h);
        return f;
    }
};

TEST_F(HudFigureDrawTest, FiguresShowThePictureOfTheirStateAndTheirRows) {
    nLogicFlash* t = Figure("/usr/logic/taucher1", "taucher", 75.0f, 524.0f, 30.0f, 52.0f);
    nLogicFlash* g = Figure("/usr/logic/geraet1", "geraet", 190.0f, 524.0f, 50.0f, 48.0f);
    nLogicFlash* m = Figure("/usr/logic/maennel1", "maennel", 300.0f, 524.0f, 30.0f, 52.0f);
    Frame();
    ASSERT_TRUE(t->SetValue("bild", "ann_1") && t->SetValue("sauerstoff", "100") && t->SetValue("gesundheit", "0"));
    ASSERT_TRUE(g->SetValue("bild", "rob_2") && g->SetValue("energie", "100"));
    ASSERT_TRUE(m->SetValue("bild", "bob_G_0") && m->SetValue("sauerstoff", "50"));
    // A changed value asks for a redraw; the same value again does not.
    EXPECT_STREQ(t->GetValue("doUpdate"), "1");
    ASSERT_TRUE(t->SetValue("doUpdate", "0") && t->SetValue("bild", "ann_1"));
    EXPECT_STREQ(t->GetValue("doUpdate"), "0");
    for (nLogicFlash* f : {t, g, m}) f->RequestUpdates();
    Frame();
    Frame();
    // The active diver's picture has a white frame, its suit is orange, its air row full
    // and its life row empty.
    EXPECT_TRUE(bwtest::ColorNear(At(75, 524), 0xFFFFFFFFu)) << std::hex << At(75, 524);
    EXPECT_TRUE(bwtest::ColorNear(At(85, 544), 0xFFF07814u, 8)) << std::hex << At(85, 544);
    EXPECT_TRUE(bwtest::ColorNear(At(90, 565), 0xFF4DB3FFu, 8)) << std::hex << At(90, 565);
    EXPECT_FALSE(bwtest::ColorNear(At(90, 572), 0xFF33E64Du, 40)) << std::hex << At(90, 572);
    // A vehicle nearly broken is framed red; its energy row is full.
    EXPECT_TRUE(bwtest::ColorNear(At(190, 524), 0xFFE61E1Eu, 8)) << std::hex << At(190, 524);
    EXPECT_TRUE(bwtest::ColorNear(At(215, 562), 0xFFFFD91Au, 8)) << std::hex << At(215, 562);
    // The second display's figure: the mark of a diver others follow, five of ten air
    // segments lit.
    EXPECT_TRUE(bwtest::ColorNear(At(304, 531), 0xFF50E65Au, 8)) << std::hex << At(304, 531);
    EXPECT_TRUE(bwtest::ColorNear(At(312, 566), 0xFF4DB3FFu, 8)) << std::hex << At(312, 566);
    EXPECT_FALSE(bwtest::ColorNear(At(315, 566), 0xFF4DB3FFu, 40)) << std::hex << At(315, 566);
    EXPECT_FALSE(TakeErrors());

    // The inventory panel's badge: the held type's colour, grey for an empty hand.
    nLogicFlash* panel = Figure("/usr/logic/inventory", "inventory", 694.0f, 495.0f, 97.0f, 95.0f);
    Frame();
    ASSERT_TRUE(panel->SetValue("_root.item_typ", "lamp"));
    panel->RequestUpdates();
    Frame();
    Frame();
    const uint32_t lamp = At(742, 533);
    ASSERT_TRUE(panel->SetValue("_root.item_typ", ""));
    panel->RequestUpdates();
    Frame();
    Frame();
    EXPECT_FALSE(bwtest::ColorNear(At(742, 533), lamp, 20)) << std::hex << lamp;
    EXPECT_FALSE(bwtest::ColorNear(At(742, 533), Black)) << std::hex << At(742, 533);
    // Checking "_root.update_tex", as the game's scripts have it, the node redraws a new
    // type in the next frame without being asked: the panel at frame rate 0 went stale.
    panel->SetCheckUpdate(true);
    ASSERT_TRUE(panel->SetValue("_root.item_typ", "lamp"));
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(742, 533), lamp, 8)) << std::hex << At(742, 533);
    ASSERT_TRUE(panel->SetValue("_root.item_typ", "lamp"));
    const char* drawn = panel->GetValue("_root.update_tex");
    EXPECT_EQ(drawn, nullptr) << "an unchanged type asks for no drawing";
    EXPECT_FALSE(TakeErrors());
}

TEST_F(HudFigureDrawTest, HideAllReleasesQuadsAndUnloadsFiguresTillTheDisplaysNextFrame) {
    auto* hud = static_cast<nbwUwMenu*>(kernel->New("nbwuwmenu", "/usr/logic/uwmenu"));
    kernel->New("nlogicnode", "/usr/logic/uwmenu/static");
    auto* frame = static_cast<nLogicSprite*>(kernel->New("nlogicsprite", "/usr/logic/uwmenu/static/frame"));
    frame->SetPosition(0.0f, 0.0f);
    frame->SetDimension(40.0f, 40.0f);
    frame->SetColor(1.0f, 0.0f, 0.0f, 1.0f);
    nLogicFlash* figure = Figure("/usr/logic/uwmenu/taucher1", "taucher", 75.0f, 524.0f, 30.0f, 52.0f);
    nLogicFlash* status = Figure("/usr/logic/uwmenu/statusbar", "statusbar", 100.0f, 0.0f, 512.0f, 24.0f);
    Frame();
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(10, 10), 0xFFFF0000u)) << std::hex << At(10, 10);
    // The figure's empty air row over the black clear colour.
    EXPECT_FALSE(bwtest::ColorNear(At(90, 565), Black)) << std::hex << At(90, 565);
    ASSERT_NE(frame->GetQuad(), nullptr);
    ASSERT_NE(figure->GetModule(), nullptr);

    hud->HideAll();
    EXPECT_EQ(frame->GetQuad(), nullptr);
    EXPECT_EQ(figure->GetQuad(), nullptr);
    EXPECT_EQ(figure->GetModule(), nullptr);
    EXPECT_EQ(status->GetModule(), nullptr);
    EXPECT_FALSE(frame->GetActive() || figure->GetActive() || status->GetActive());
    // While the display itself is off its parts stay hidden.
    hud->SetActive(false);
    Frame();
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(10, 10), Black)) << std::hex << At(10, 10);
    EXPECT_TRUE(bwtest::ColorNear(At(90, 565), Black)) << std::hex << At(90, 565);
    // Its next frame shows them again, the figure's movie loaded anew.
    hud->SetActive(true);
    Frame();
    Frame();
    EXPECT_TRUE(frame->GetActive() && figure->GetActive() && status->GetActive());
    EXPECT_NE(figure->GetModule(), nullptr);
    EXPECT_TRUE(bwtest::ColorNear(At(10, 10), 0xFFFF0000u)) << std::hex << At(10, 10);
    EXPECT_FALSE(bwtest::ColorNear(At(90, 565), Black)) << std::hex << At(90, 565);
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
