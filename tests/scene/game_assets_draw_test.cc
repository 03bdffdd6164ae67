// The game's generated meshes with their textures, read from the build's archives and
// drawn through the scene graph with the shader's default culling: each shows its front
// faces to a camera above it.
#include <string>

#include "tests/kernel/GameArchives.h"
#include "tests/scene/DrawFixture.h"
#include "tests/scene/SquareMesh.h"

namespace {

using bwtest::ColorNear;

class GameAssetsDrawTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        ASSERT_GT(bwtest::MountGameArchives(kernel), 0);
    }
    // One mesh at the view's centre, scaled, turned so that its +y (its top) faces the
    // camera, unlit, with its texture repeated (the seabed's runs 25 times across).
    void Place(const std::string& name, float scale) {
        const std::string s = std::to_string(scale);
        ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 'm'); sel('m'); "
                        "txyz(0, 0, -0.5); rx(90); sxyz(" + s + ", " + s + ", " + s + "); "
                        "new('nshadernode', 'shader'); sel('shader'); setnumstages(1); "
                        "setcolorop(0, 'replace tex'); setalphaop(0, 'nop'); setlightenable(false); "
                        "begintunit(0); setaddress('wrap', 'wrap'); sel('..'); "
                        "new('ntexarraynode', 'tex'); sel('tex'); settexture(0, 'home:textures/" + name + ".png', 'none'); "
                        "sel('..'); new('nmeshnode', 'mesh'); sel('mesh'); setfilename('home:meshes/" + name + ".n3d'); sel('/')"));
        Frame("/scene");
    }
    static bool Orange(uint32_t c) { return R(c) > 200 && G(c) > 90 && G(c) < 150 && B(c) < 60; }
};

TEST_F(GameAssetsDrawTest, TheSeabedShowsItsSandFromAbove) {
    // 200 units become 1, half the view.
    Place("seabed", 0.005f);
    for (auto [x, y] : {std::pair{32, 32}, {20, 20}, {44, 44}}) {
        const uint32_t c = Presented(x, y);
        EXPECT_TRUE(R(c) > 120 && R(c) > G(c) && G(c) > B(c)) << std::hex << c << " at " << std::dec << x << "," << y;
    }
    EXPECT_TRUE(ColorNear(Presented(4, 4), Clear));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(GameAssetsDrawTest, TheRockAndTheDiverShowTheirTopsAndTheDiverItsOrangeSuit) {
    Place("rock", 0.3f);
    const uint32_t rock = Presented(32, 32);
    EXPECT_FALSE(ColorNear(rock, Clear)) << std::hex << rock;
    EXPECT_TRUE(ColorNear(Presented(4, 4), Clear));
    Run("delete('/scene')");

    // The diver lies along the view's y with its head at the top (its -z).
    Place("diver", 1.0f);
    int orange = 0, top = 0;
    for (int y = 0; y < 64; y++) {
        for (int x = 0; x < 64; x++) {
            if (!Orange(Presented(x, y))) continue;
            orange++;
            top += y < 32;
        }
    }
    EXPECT_GT(orange, 60);
    // Torso and arms lie in the upper half, the legs in the lower one.
    EXPECT_GT(top, orange / 2);
    EXPECT_LT(top, orange);
    EXPECT_TRUE(ColorNear(Presented(4, 60), Clear));
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
