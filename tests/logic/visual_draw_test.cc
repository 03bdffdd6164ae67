// Scripted visual logic nodes with a visualizer module on the OpenGL device: the
// template's cube is drawn where the node stands (and where a key file moves an animation
// node), read back from the presented frame.
#include <cstring>
#include <string>
#include <vector>

#include "tests/logic/LogicDrawFixture.h"
#include "tests/scene/RedCube.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u;

class VisualDrawTest : public LogicDrawFixture {
protected:
    void SetUp() override {
        LogicDrawFixture::SetUp();
        kernel->New("nenvelopeserver", "/sys/servers/envelope");
        cube = Write("cube.n3d", std::vector<uint8_t>(CubeN3d, CubeN3d + std::strlen(CubeN3d)));
    }
    // A frame whose logic is triggered first, as the observer does: the animators run.
    void TriggeredFrame() {
        static_cast<nLogicNode*>(kernel->Lookup("/usr/logic"))->Trigger(graph);
        LogicFrame();
    }
    void ExpectSquare(int x0, int x1) {
        EXPECT_TRUE(ColorNear(Presented((x0 + x1) / 2, 32), Red)) << "square at " << x0;
        EXPECT_TRUE(ColorNear(Presented(x0 + 2, 26), Red)) << "square at " << x0;
        EXPECT_TRUE(ColorNear(Presented(x1 - 3, 37), Red)) << "square at " << x0;
        EXPECT_TRUE(ColorNear(Presented(x0 - 3, 32), Clear)) << "left of " << x0;
        EXPECT_TRUE(ColorNear(Presented(x1 + 2, 32), Clear)) << "right of " << x1;
    }

    std::string cube;
};

TEST_F(VisualDrawTest, AVisualNodeDrawsItsTemplateWhereItStands) {
    ASSERT_TRUE(Run("new('n3dnode', '/tmpl'); sel('/tmpl'); new('nmeshnode', 'mesh'); sel('mesh');"
                    " setfilename('" + cube + "');"
                    " new('nmodvisualizer', '/usr/modules/cube'); sel('/usr/modules/cube'); setvisual('/tmpl');"
                    " new('nlogicnode', '/usr/logic'); new('nlogicvisual2', '/usr/logic/v'); sel('/usr/logic/v');"
                    " txyz(0, 0, -0.5); addvisualizer('default', '/usr/modules/cube'); sel('/')"));
    LogicFrame();
    ExpectSquare(24, 40);
    EXPECT_TRUE(ColorNear(Presented(8, 32), Clear));

    // Moved right by a quarter of the view, the node takes its picture along.
    ASSERT_TRUE(Run("sel('/usr/logic/v'); txyz(0.5, 0, -0.5); sel('/')"));
    LogicFrame();
    ExpectSquare(40, 56);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(VisualDrawTest, ADoorMovedByItsKeyFileDrawsWhereItsTimeSays) {
    // Keys at 0 s and 2 s from the middle of the view to a quarter further right.
    const std::string keys = "keybuffer 2 3\nkey 1 0.0 0 0 -0.5\nkey 1 2.0 0.5 0 -0.5\n";
    const std::string file = Write("door.nea", std::vector<uint8_t>(keys.begin(), keys.end()));
    ASSERT_TRUE(Run("new('n3dnode', '/tmpl'); sel('/tmpl'); new('nmeshnode', 'mesh'); sel('mesh');"
                    " setfilename('" + cube + "');"
                    " new('nmodvisualizer', '/usr/modules/cube'); sel('/usr/modules/cube'); setvisual('/tmpl');"
                    " new('nmodvectoranimator', '/usr/modules/slide'); sel('/usr/modules/slide');"
                    " beginanims(1); beginanim('v_txyz_fff'); setkeyfile('" + file + "'); endanim(); endanims();"
                    " new('nlogicnode', '/usr/logic'); new('nlogicanim', '/usr/logic/door'); sel('/usr/logic/door');"
                    " addvisualizer('default', '/usr/modules/cube'); addanimator('default', '/usr/modules/slide');"
                    " settime(0); sel('/')"));
    TriggeredFrame();
    ExpectSquare(24, 40);
    ASSERT_TRUE(Run("sel('/usr/logic/door'); settime(2); sel('/')"));
    TriggeredFrame();
    ExpectSquare(40, 56);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
