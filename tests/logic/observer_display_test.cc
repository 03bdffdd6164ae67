// The base observer's frames on the OpenGL device in a 64 x 64 window, read back by
// probe pixels: queued debug lines.
#include "gfx/nD3D8Server.h"
#include "tests/logic/ObserverFixture.h"
#include "tests/platform/SdlTestEnvironment.h"

class ObserverDisplayTest : public ObserverFixture {
protected:
    static constexpr int Size = 64;
    static constexpr uint32_t Blue = 0xFF0000FFu;
    static constexpr uint32_t Red = 0xFFFF0000u;

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
