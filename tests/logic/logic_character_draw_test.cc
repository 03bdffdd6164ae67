// A character logic node on the OpenGL device: the weights scripts give its animations
// reach the weight channels of a skinned mesh under its visualizer, and the picture
// shows the pose they choose.
#include <cstring>
#include <string>
#include <vector>

#include "tests/logic/LogicDrawFixture.h"

namespace {

// A red bar from x 0.15 to 0.75, y -0.08 to 0.08, every corner on bone 1 ("arm"), which
// turns about the origin.
const char* const ArmN3d =
    "v 0.15 -0.08 0\nv 0.75 -0.08 0\nv 0.75 0.08 0\nv 0.15 0.08 0\n"
    "rgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\n"
    "jw1 1 1\njw1 1 1\njw1 1 1\njw1 1 1\nf 1 2 3\nf 1 3 4\n";

class LogicCharacterDrawTest : public LogicDrawFixture {
protected:
    void SetUp() override {
        LogicDrawFixture::SetUp();
        MakePhysikServers();
        kernel->New("nanimserver", "/sys/servers/anim");

        // "rest" holds the arm straight, "fold" turns it 90 degrees about z.
        const std::string arm = WriteText("arm.n3d", ArmN3d);
        const std::string rest = WriteText("rest.tkey", "numbones(2)\nnumkeys(2)\nrotkey(1, 0, 0, 0, 0, 1)\n"
                                                        "rotkey(1, 1, 0, 0, 0, 1)\n");
        const std::string fold = WriteText("fold.tkey", "numbones(2)\nnumkeys(2)\n"
                                                        "rotkey(1, 0, 0, 0, 0.70710678, 0.70710678)\n"
                                                        "rotkey(1, 1, 0, 0, 0.70710678, 0.70710678)\n");
        ASSERT_TRUE(Run("new('n3dnode', '/tmpl'); sel('/tmpl'); new('nbonesystem', 'sys'); sel('sys'); "
                        "new('nbone', 'root'); sel('root'); new('nbone', 'arm'); sel('..'); "
                        "new('nboneanim', 'anim'); sel('anim'); beginbones(2); setbone(0, 'root'); "
                        "setbone(1, 'arm'); endbones(); "
                        "new('nboneanimstate', 'rest'); sel('rest'); setweightchannel('rest'); setkeytime(0.5); "
                        "setkeyfilename('" + rest + "'); sel('..'); "
                        "new('nboneanimstate', 'fold'); sel('fold'); setweightchannel('fold'); setkeytime(0.5); "
                        "setkeyfilename('" + fold + "'); sel('/tmpl/sys'); "
                        "new('nskinnode', 'skin'); sel('skin'); new('nmeshnode', 'mesh'); sel('mesh'); "
                        "setfilename('" + arm + "'); setreadonly(true); "
                        "new('nmodvisualizer', '/usr/modules/diver'); sel('/usr/modules/diver'); setvisual('/tmpl'); "
                        "new('nlogicnode', '/usr/logic'); new('nlogiccharacter', '/usr/logic/diver'); "
                        "sel('/usr/logic/diver'); txyz(0, 0, -0.5); beginanims(2); setanimchn(0, 'rest', 0, false); "
                        "setanimchn(1, 'fold', 0, false); endanims(); addvisualizer('default', '/usr/modules/diver'); "
                        "sel('/')"));
    }
    std::string WriteText(const char* name, const char* text) {
        return Write(name, std::vector<uint8_t>(text, text + std::strlen(text)));
    }
    bool IsRed(int x, int y) { return bwtest::ColorNear(Presented(x, y), 0xFFFF0000u); }
    bool IsClear(int x, int y) { return bwtest::ColorNear(Presented(x, y), Clear); }
    // The arm lies along +x; folded it stands along y at x 0.
    bool Straight() { return IsRed(50, 32) && IsClear(32, 17) && IsClear(32, 47); }
    bool Folded() { return IsClear(50, 32) && IsRed(32, 17) != IsRed(32, 47); }
};

TEST_F(LogicCharacterDrawTest, TheWeightsScriptsGiveChooseThePose) {
    ASSERT_TRUE(Run("sel('/usr/logic/diver'); doanim('rest', 1); sel('/')"));
    LogicFrame();
    EXPECT_TRUE(Straight());
    ASSERT_TRUE(Run("sel('/usr/logic/diver'); doanim('fold', 1); sel('/')"));
    LogicFrame();
    EXPECT_TRUE(Folded());
    // A frame without weights shows animation 0 alone.
    LogicFrame();
    EXPECT_TRUE(Straight());
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
