// A small level on the OpenGL device: its map places a floor, a sun and a lit rock from
// visuals the test made beforehand; the level renders, unloads to an empty frame and
// renders again after a second load.
#include <string>
#include <vector>

#include "logic/nLogicLevel.h"
#include "tests/logic/LogicDrawFixture.h"
#include "tests/scene/SquareMesh.h"

namespace {

using bwtest::ColorNear;

class LevelDrawTest : public LogicDrawFixture {
protected:
    void SetUp() override {
        LogicDrawFixture::SetUp();
        kernel->New("nbaseobserver", "/sys/servers/observer");
        const std::string floor = Write("floor.n3d", Bytes(SquareN3d("0 1 0 1")));
        const std::string rock = Write("rock.n3d", Bytes(SquareN3d("1 1 1 1")));
        // The repository: templates and the visualizer modules that show them.
        ASSERT_TRUE(Run(
            "new('n3dnode', '/tmpl/floor'); sel('/tmpl/floor'); new('nshadernode', 's'); sel('s');"
            " setlightenable(false); setcullmode('none'); sel('..'); new('nmeshnode', 'mesh'); sel('mesh');"
            " setfilename('" + floor + "');"
            " new('n3dnode', '/tmpl/sun'); sel('/tmpl/sun'); new('nlightnode', 'l'); sel('l');"
            " settype('directional'); setcolor(1, 1, 1, 1);"
            " new('n3dnode', '/tmpl/rock'); sel('/tmpl/rock'); new('nshadernode', 's'); sel('s');"
            " setlightenable(true); setdiffuse(1, 0, 0, 1); setambient(0, 0, 0, 1); setcullmode('none'); sel('..');"
            " new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + rock + "');"
            " for _, n in ipairs({'floor', 'sun', 'rock'}) do"
            "   new('nmodvisualizer', '/usr/modules/' .. n); sel('/usr/modules/' .. n); setvisual('/tmpl/' .. n)"
            " end"
            " new('nlogicnode', '/usr/logic'); sel('/')"));
        // The map: a floor tilted back across the bottom of the view, the sun, and the
        // rock facing it in the middle.
        const std::string map = Write("reef.n", Bytes(
            "new('nlogicvisual2', 'floor'); sel('floor'); txyz(0, -0.7, -0.5); rxyz(-1.0, 0, 0); sxyz(2, 1, 1);"
            " addvisualizer('default', '/usr/modules/floor'); sel('..');"
            " new('nlogicvisual2', 'sun'); sel('sun'); addvisualizer('default', '/usr/modules/sun'); sel('..');"
            " new('nlogicvisual2', 'rock'); sel('rock'); txyz(0, 0.2, -0.5); sxyz(0.5, 0.5, 1);"
            " addvisualizer('default', '/usr/modules/rock')"));
        level = static_cast<nLogicLevel*>(kernel->New("nlogiclevel", "/usr/logic/level"));
        level->SetMapFile(map.c_str());
    }
    void ExpectWorld() {
        for (int x : {4, 32, 60}) EXPECT_TRUE(ColorNear(Presented(x, 58), 0xFF00FF00u)) << "floor at " << x;
        uint32_t rock = Presented(32, 25);
        EXPECT_GT(R(rock), 200) << "the sun lights the rock";
        EXPECT_LT(G(rock), 40);
        EXPECT_LT(B(rock), 40);
        EXPECT_TRUE(ColorNear(Presented(4, 4), Clear));
    }
    void ExpectEmpty() {
        for (auto [x, y] : {std::pair{32, 58}, {4, 58}, {32, 25}, {4, 4}}) {
            EXPECT_TRUE(ColorNear(Presented(x, y), Clear)) << x << "," << y;
        }
    }

    nLogicLevel* level = nullptr;
};

TEST_F(LevelDrawTest, TheLevelLoadsRendersUnloadsToAnEmptyFrameAndLoadsAgain) {
    level->LoadLevel();
    ASSERT_EQ(level->GetNumChildren(), 3) << log.text;
    LogicFrame();
    ExpectWorld();

    level->UnloadLevel();
    LogicFrame();
    ExpectEmpty();

    level->LoadLevel();
    LogicFrame();
    ExpectWorld();
}

}  // namespace
