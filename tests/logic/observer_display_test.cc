// The base observer's frames on the OpenGL device in a 64 x 64 window, read back by
// probe pixels: queued debug lines and a loading screen of textured sprites.
#include <string>

#include "gfx/nD3D8Server.h"
#include "logic/nLogicSprite.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/logic/ObserverFixture.h"
#include "tests/platform/SdlTestEnvironment.h"

class ObserverDisplayTest : public ObserverFixture {
protected:
    static constexpr int Size = 64;
    static constexpr uint32_t Blue = 0xFF0000FFu;
    static constexpr uint32_t Red = 0xFFFF0000u;
    static constexpr uint32_t Green = 0xFF00FF00u;

    ObserverDisplayTest() { gfxClass = "nd3d8server"; }
    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }

    void SetUp() override {
        ObserverFixture::SetUp();
        d3d = static_cast<nD3D8Server*>(gfxServer);
        ASSERT_TRUE(d3d->SetDisplayMode("w(64)-h(64)-zbuf(16)"));
        ASSERT_TRUE(d3d->OpenDisplay());
        d3d->SetClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        // Identity projection: a line group's transform maps straight to clip space.
        d3d->SetMatrix(nGfxServer::PROJECTION, matrix44());
        clock.Set(0.0);
        obs->ResetTime();
    }
    void TearDown() override {
        d3d->CloseDisplay();
        ObserverFixture::TearDown();
    }

    // Clip x and y of the centre of pixel (px, py), rows from the top.
    static float ClipX(int px) { return (float(px) + 0.5f) / (Size / 2) - 1.0f; }
    static float ClipY(int py) { return 1.0f - (float(py) + 0.5f) / (Size / 2); }
    uint32_t At(int x, int y) { return bwtest::Presented(*d3d->GetDevice(), x, y); }
    // Lines may land one pixel off their ideal row or column.
    bool Near(int x, int y, uint32_t color) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (bwtest::ColorNear(At(x + dx, y + dy), color)) return true;
        return false;
    }
    void Frame(double t) {
        clock.Set(t);
        ASSERT_TRUE(obs->RunFrame());
    }

    // A 2 x 2 picture of one colour, as a file in the test's folder.
    std::string Picture(const char* name, uint8_t r, uint8_t g, uint8_t b) {
        BmpBytes bmp;
        for (int row = 0; row < 2; row++) bmp.pixels.insert(bmp.pixels.end(), {b, g, r, b, g, r, 0, 0});
        std::vector<uint8_t> bytes = bmp.Build();
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }
    // A sprite on the 800 x 600 virtual screen.
    void Sprite(const char* path, float x, float y, float w, float h, const std::string& texture) {
        auto* s = static_cast<nLogicSprite*>(kernel->New("nlogicsprite", path));
        ASSERT_NE(s, nullptr);
        s->SetPosition(x, y);
        s->SetDimension(w, h);
        s->SetTexture(texture.c_str());
    }

    nD3D8Server* d3d = nullptr;
};

TEST_F(ObserverDisplayTest, AQueuedRedLineIsDrawnForOneFrame) {
    // A horizontal red segment across row 32 from column 8 to 56, then a vertical one
    // down column 16 in a group translated by a quarter of the window.
    matrix44 shifted;
    shifted.SetTranslation(vector3(-0.5f, 0.0f, 0.0f));
    obs->AddLineGroup(matrix44(), 1, 0, 0, 1);
    obs->AddLinePoint(vector3(ClipX(8), ClipY(32), -0.5f));
    obs->AddLinePoint(vector3(ClipX(56), ClipY(32), -0.5f));
    obs->AddLineGroup(shifted, 1, 0, 0, 1);
    obs->AddLinePoint(vector3(ClipX(32), ClipY(8), -0.5f));
    obs->AddLinePoint(vector3(ClipX(32), ClipY(20), -0.5f));
    Frame(0.03);
    for (int x : {10, 32, 54}) EXPECT_TRUE(Near(x, 32, Red)) << x;
    EXPECT_TRUE(Near(16, 14, Red));
    for (auto [x, y] : {std::pair{32, 10}, {32, 50}, {4, 32}, {60, 32}, {32, 14}, {16, 26}}) {
        EXPECT_TRUE(bwtest::ColorNear(At(x, y), Blue)) << x << "," << y;
    }

    // The queue was emptied: the next frame shows no line.
    Frame(0.06);
    EXPECT_TRUE(bwtest::ColorNear(At(32, 32), Blue));
    EXPECT_TRUE(bwtest::ColorNear(At(16, 14), Blue));
}

TEST_F(ObserverDisplayTest, ALoadingScreenShowsItsSpriteWithTheChildSpriteOverIt) {
    // A red screen and, as its child, a green bar over the lower middle (columns 16 to
    // 48, rows 32 to 64 of the window).
    Sprite("/usr/loadingscreen", 0, 0, 800, 600, Picture("red.bmp", 255, 0, 0));
    Sprite("/usr/loadingscreen/bar", 200, 300, 400, 300, Picture("green.bmp", 0, 255, 0));
    obs->AddLoadingScreen("/usr/loadingscreen");
    ASSERT_TRUE(Run("obj('/sys/servers/observer').incloading()"));
    for (auto [x, y] : {std::pair{8, 8}, {56, 8}, {32, 24}, {8, 56}, {56, 56}}) {
        EXPECT_TRUE(bwtest::ColorNear(At(x, y), Red)) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{20, 36}, {44, 36}, {32, 48}, {20, 60}, {44, 60}}) {
        EXPECT_TRUE(bwtest::ColorNear(At(x, y), Green)) << x << "," << y;
    }
}
