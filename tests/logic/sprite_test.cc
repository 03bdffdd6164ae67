// Sprites on the OpenGL device, read back at probe pixels at 800 x 600 and 1024 x 768;
// their commands, saved form and the bad input and missing servers they meet.
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kernel/nArg.h"
#include "logic/nLogicSprite.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/logic/SpriteFixture.h"
#include "tests/scene/RedCube.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u, Green = 0xFF00FF00u, Blue = 0xFF0000FFu, White = 0xFFFFFFFFu;
constexpr uint32_t Yellow = 0xFFFFFF00u;
constexpr float Pi = 3.14159265f;

std::string Slurp(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A 2 x 2 picture: red top left, green top right, blue bottom left, white bottom right.
// Stored bottom row first, b g r per texel, rows padded to four bytes.
std::vector<uint8_t> CheckerBmp() {
    BmpBytes bmp;
    bmp.pixels = {255, 0, 0, 255, 255, 255, 0, 0,  // bottom: blue, white
                  0, 0, 255, 0, 255, 0, 0, 0};     // top: red, green
    return bmp.Build();
}

class SpriteTest : public SpriteFixture {
protected:
    nLogicSprite* Sprite(const char* path, float x, float y, float sw, float sh) {
        auto* s = static_cast<nLogicSprite*>(kernel->New("nlogicsprite", path));
        s->SetPosition(x, y);
        s->SetDimension(sw, sh);
        return s;
    }
};

class SpriteSizeTest : public SpriteTest, public ::testing::WithParamInterface<std::pair<int, int>> {
protected:
    void SetUp() override {
        SpriteTest::SetUp();
        Open(GetParam().first, GetParam().second);
    }
};

INSTANTIATE_TEST_SUITE_P(Displays, SpriteSizeTest, ::testing::Values(std::make_pair(800, 600), std::make_pair(1024, 768)));

TEST_P(SpriteSizeTest, AFullScreenCheckerShowsEachQuadrantUprightAndTheColourMultipliesIt) {
    const std::string tex = Write("checker.bmp", CheckerBmp());
    ASSERT_TRUE(Run("new('nlogicsprite', '/usr/logic/s'); sel('/usr/logic/s'); setposition(0, 0);"
                    " setdimension(800, 600); settexture('" + tex + "'); sel('/')"));
    Frame();
    const struct {
        int x, y;
        uint32_t color;
    } probes[] = {{w / 4, h / 4, Red},         {3 * w / 4, h / 4, Green},    {w / 4, 3 * h / 4, Blue},
                  {3 * w / 4, 3 * h / 4, White}, {2, 2, Red},                {w - 3, 2, Green},
                  {2, h - 3, Blue},              {w - 3, h - 3, White}};
    for (const auto& p : probes) EXPECT_TRUE(ColorNear(At(p.x, p.y), p.color)) << p.x << ", " << p.y;

    // The colour takes effect at the next Render and multiplies each texel.
    ASSERT_TRUE(Run("sel('/usr/logic/s'); setcolor(1, 0.5, 0.25, 1); sel('/')"));
    Frame();
    EXPECT_TRUE(ColorNear(At(w / 4, h / 4), Red));
    EXPECT_TRUE(ColorNear(At(3 * w / 4, h / 4), 0xFF007F00u));
    EXPECT_TRUE(ColorNear(At(3 * w / 4, 3 * h / 4), 0xFFFF7F3Fu));
    EXPECT_FALSE(TakeErrors());
}

TEST_P(SpriteSizeTest, SpinTurnsTheSpriteAboutItsOwnCentre) {
    // A bar off the screen's centre: 200 x 20 around (200, 110).
    nLogicSprite* bar = Sprite("/usr/logic/bar", 100.0f, 100.0f, 200.0f, 20.0f);
    const float sx = float(w) / 800.0f, sy = float(h) / 600.0f;
    const int cx = int(200.0f * sx), cy = int(110.0f * sy), reach = int(80.0f * sx);
    Frame();
    EXPECT_TRUE(ColorNear(At(cx - reach, cy), White));
    EXPECT_TRUE(ColorNear(At(cx, cy - reach), Black));

    // Weight 1 adds 0.2 rad a Render, whatever the frame time.
    bar->SetRotateWgt(1.0f);
    Frame();
    Frame();
    EXPECT_NEAR(bar->GetSpinAngle(), 0.4f, 1e-5f);
    // The rest of a quarter turn in one Render: the bar stands upright on its centre.
    bar->SetRotateWgt((Pi / 2.0f - 0.4f) / 0.2f);
    Frame();
    EXPECT_NEAR(bar->GetSpinAngle(), Pi / 2.0f, 1e-5f);
    EXPECT_TRUE(ColorNear(At(cx, cy), White));
    EXPECT_TRUE(ColorNear(At(cx, cy - reach), White));
    EXPECT_TRUE(ColorNear(At(cx, cy + reach), White));
    EXPECT_TRUE(ColorNear(At(cx - reach, cy), Black));
    EXPECT_TRUE(ColorNear(At(cx + reach, cy), Black));
}

TEST_F(SpriteTest, ASpriteFollowsTheDisplayToAnotherSizeWithItsTexture) {
    // Corners are display pixels: they are made again when the display size changes. The
    // texture goes with the old display and is loaded again.
    nLogicSprite* s = Sprite("/usr/logic/s", 400.0f, 300.0f, 400.0f, 300.0f);
    s->SetTexture(Write("checker.bmp", CheckerBmp()).c_str());
    Open(800, 600);
    Frame();
    EXPECT_TRUE(ColorNear(At(450, 350), Red));
    EXPECT_TRUE(ColorNear(At(350, 250), Black));
    Open(1024, 768);
    Frame();
    EXPECT_TRUE(ColorNear(At(600, 450), Red));
    EXPECT_TRUE(ColorNear(At(950, 720), White));
    EXPECT_TRUE(ColorNear(At(450, 350), Black));
    // A move takes the drawn quad along at once.
    s->SetPosition(0.0f, 0.0f);
    Frame();
    EXPECT_TRUE(ColorNear(At(100, 100), Red));
    EXPECT_TRUE(ColorNear(At(900, 700), Black));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(SpriteTest, SpritesBlendOverThe3DSceneInTreeOrder) {
    Open(800, 600);
    const std::string cube = Write("cube.n3d", std::vector<uint8_t>(CubeN3d, CubeN3d + std::strlen(CubeN3d)));
    // The cube covers the middle quarter of the width (300 to 500 virtual units).
    // Drawn with a shader of its own: the cube does not take up what the sprites leave set.
    ASSERT_TRUE(Run("new('n3dnode', '/tmpl'); sel('/tmpl'); new('nshadernode', 's'); sel('s');"
                    " setlightenable(false); setcullmode('none'); sel('..'); new('nmeshnode', 'mesh'); sel('mesh');"
                    " setfilename('" + cube + "');"
                    " new('nmodvisualizer', '/usr/modules/cube'); sel('/usr/modules/cube'); setvisual('/tmpl');"
                    " new('nlogicvisual2', '/usr/logic/v'); sel('/usr/logic/v');"
                    " txyz(0, 0, -0.5); addvisualizer('default', '/usr/modules/cube'); sel('/')"));
    Sprite("/usr/logic/a", 0.0f, 0.0f, 400.0f, 600.0f)->SetColor(0.0f, 1.0f, 0.0f, 1.0f);
    nLogicSprite* b = Sprite("/usr/logic/b", 350.0f, 0.0f, 100.0f, 600.0f);
    b->SetColor(1.0f, 1.0f, 0.0f, 1.0f);
    Frame();
    EXPECT_TRUE(ColorNear(At(200, 300), Green));   // the first sprite only
    EXPECT_TRUE(ColorNear(At(330, 300), Green));   // the first sprite over the cube
    EXPECT_TRUE(ColorNear(At(375, 300), Yellow));  // the second over both
    EXPECT_TRUE(ColorNear(At(475, 300), Red));     // the cube alone
    EXPECT_TRUE(ColorNear(At(600, 300), Black));

    // Half transparent over the red cube: half of each.
    b->SetColor(0.0f, 1.0f, 0.0f, 0.5f);
    Frame();
    EXPECT_TRUE(ColorNear(At(425, 300), 0xFF7F7F00u, 4));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(SpriteTest, RenderOutsideTheGraphMakesWhatItLacksAndTheLastSpriteReleasesTheSharedIndices) {
    Open(800, 600);
    // Loading screens: never set up, never traversed.
    nLogicSprite* left = Sprite("/loading/left", 0.0f, 0.0f, 400.0f, 600.0f);
    nLogicSprite* right = Sprite("/loading/right", 400.0f, 0.0f, 400.0f, 600.0f);
    left->SetColor(1.0f, 0.0f, 0.0f, 1.0f);
    right->SetColor(0.0f, 0.0f, 1.0f, 1.0f);
    ASSERT_TRUE(BeginFrame());
    left->Render();
    right->Render();
    gfx->EndScene();
    Grab();
    EXPECT_TRUE(ColorNear(At(100, 300), Red));
    EXPECT_TRUE(ColorNear(At(700, 300), Blue));

    const char* const shared = "/sys/share/ixbuf/nlogicsprite_ibuf";
    ASSERT_NE(kernel->Lookup(shared), nullptr);
    left->Release();
    EXPECT_NE(kernel->Lookup(shared), nullptr);
    right->Release();
    EXPECT_EQ(kernel->Lookup(shared), nullptr);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(SpriteTest, ATextureThatDoesNotLoadIsLoggedOnceAndTriedAgainOnlyWhenSetAgain) {
    Open(800, 600);
    const std::string tex = Path("late.bmp");
    nLogicSprite* s = Sprite("/usr/logic/s", 0.0f, 0.0f, 800.0f, 600.0f);
    s->SetColor(0.0f, 1.0f, 0.0f, 1.0f);
    s->SetTexture(tex.c_str());
    Frame();
    Frame();
    EXPECT_EQ(Errors("/usr/logic/s: texture"), 1);
    EXPECT_TRUE(ColorNear(At(200, 150), Green));

    // The file appears: the sprite keeps its colour until its texture is set again.
    Write("late.bmp", CheckerBmp());
    Frame();
    EXPECT_TRUE(ColorNear(At(200, 150), Green));
    s->SetTexture(tex.c_str());
    s->SetColor(1.0f, 1.0f, 1.0f, 1.0f);
    Frame();
    EXPECT_TRUE(ColorNear(At(200, 150), Red));
    EXPECT_TRUE(ColorNear(At(600, 450), White));
    EXPECT_EQ(Errors("/usr/logic/s: texture"), 1);
}

TEST_F(SpriteTest, GettersTruncateAndTheSaveSkipsDefaultsMatchesTheGoldenFileAndLoadsBack) {
    nLogicSprite* s = Sprite("/usr/logic/s", 10.9f, -3.7f, 200.5f, 100.0f);
    nArg out[4];
    ASSERT_TRUE(s->Call(nId("LSGP"), out));
    EXPECT_EQ(out[0].GetI(), 10);
    EXPECT_EQ(out[1].GetI(), -3);
    ASSERT_TRUE(s->Call(nId("LSGD"), out));
    EXPECT_EQ(out[0].GetI(), 200);

    // Nothing of the sprite's is written while it keeps its defaults; a size with a side
    // of 0 counts as none.
    nLogicSprite* plain = Sprite("/usr/logic/plain", 0.0f, 0.0f, 0.0f, 50.0f);
    ASSERT_TRUE(plain->SaveAs(Path("plain").c_str()));
    const std::string text = Slurp(Path("plain.n"));
    for (const char* cmd : {"settexture", "setposition", "setdimension", "setuvcoord", "setcolor", "txyz", "setvisible"}) {
        EXPECT_EQ(text.find(cmd), std::string::npos) << cmd;
    }

    s->SetTexture("menu/bg.bmp");
    s->SetPosition(10.9f, 20.0f);
    s->SetUvCoord(0.0f, 0.5f, 1.0f, 1.0f);
    s->SetColor(1.0f, 0.5f, 0.25f, 0.75f);
    s->SetRotateWgt(2.0f);
    ASSERT_TRUE(s->SaveAs(Path("s").c_str()));
    const std::string golden = std::string(std::getenv("BW_SOURCE_DIR")) + "/tests/logic/golden/sprite_s.n";
    EXPECT_EQ(Slurp(Path("s.n")), Slurp(golden));

    kernel->SetCwd(kernel->Lookup("/usr/logic"));
    auto* back = static_cast<nLogicSprite*>(kernel->Load(golden.c_str()));
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr) << log.text;
    float v[4];
    back->GetPosition(v[0], v[1]);
    EXPECT_EQ(v[0], 10.0f);
    EXPECT_EQ(v[1], 20.0f);
    back->GetDimension(v[0], v[1]);
    EXPECT_EQ(v[0], 200.0f);
    EXPECT_EQ(v[1], 100.0f);
    back->GetUvCoord(v[0], v[1], v[2], v[3]);
    EXPECT_EQ(std::vector<float>(v, v + 4), (std::vector<float>{0.0f, 0.5f, 1.0f, 1.0f}));
    back->GetColor(v[0], v[1], v[2], v[3]);
    EXPECT_EQ(std::vector<float>(v, v + 4), (std::vector<float>{1.0f, 0.5f, 0.25f, 0.75f}));
    EXPECT_STREQ(back->GetTexture(), "menu/bg.bmp");
    EXPECT_EQ(back->GetRotateWgt(), 0.0f);
}

// A graphics server that makes pixel shaders but no index buffers.
class nNoIndexGfx : public nRecordingGfx {
public:
    static const nClassInfo classInfo;
    nIndexBuffer* NewIndexBuffer(const char*) override { return nullptr; }
    bool GetDisplayDesc(int& x0, int& y0, int& x1, int& y1) override {
        x0 = y0 = 0;
        x1 = 800;
        y1 = 600;
        return true;
    }
};
const nClassInfo nNoIndexGfx::classInfo = nClassInfo::Make<nNoIndexGfx>("nnoindexgfx", "nrecordinggfx");

TEST_F(SpriteTest, AMissingGraphicsServerPixelShaderOrIndexBufferStopsTheProgram) {
    nLogicSprite* s = Sprite("/loading/s", 0.0f, 0.0f, 100.0f, 100.0f);
    // The default log handler shows a fatal text on standard error.
    kernel->SetLogHandler(nullptr);
    kernel->Lookup("/sys/servers/gfx")->Release();
    EXPECT_EXIT(s->Render(), ::testing::ExitedWithCode(3), "Aborting.");

    // The base graphics server makes no pixel shaders.
    kernel->New("ngfxserver", "/sys/servers/gfx");
    EXPECT_EXIT(s->Render(), ::testing::ExitedWithCode(3), "Aborting.");
    kernel->Lookup("/sys/servers/gfx")->Release();

    kernel->AddClass(nRecordingGfx::classInfo);
    kernel->AddClass(nNoIndexGfx::classInfo);
    kernel->New("nnoindexgfx", "/sys/servers/gfx");
    EXPECT_EXIT(s->Render(), ::testing::ExitedWithCode(3), "Aborting.");
}

}  // namespace
