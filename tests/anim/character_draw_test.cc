// A character's skin drawn on the OpenGL device: the picture follows the posed joints.
#include <cmath>

#include "anim/nCharacterNode.h"
#include "gfx/nVertexBuffer.h"
#include "scene/nShadowCaster.h"
#include "tests/anim/SkinDrawFixture.h"

namespace {

// A red bar from x 0.1 to 0.6, y -0.1 to 0.1, every corner on joint 1 ("arm"), with one
// shadow edge along its diagonal.
const char* const BarN3d =
    "v 0.1 -0.1 0\nv 0.6 -0.1 0\nv 0.6 0.1 0\nv 0.1 0.1 0\n"
    "rgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\n"
    "jw1 1 1\njw1 1 1\njw1 1 1\njw1 1 1\n"
    "f 1 2 3\nf 1 3 4\nwe 0 2 1 3\n";

// State "rest" holds the arm; state "down" turns it 90 degrees about z, which takes x
// to -y: the bar then hangs from x -0.1 to 0.1, y -0.1 to -0.6.
const char* const Curves =
    "curves 2\n"
    "curve rest_a_rot_arm 0 1 1.0 loop quaternion\nkey 0 0 0 1\n"
    "curve down_a_rot_arm 0 1 1.0 loop quaternion\nkey 0 0 0.70710678 0.70710678\n";

class CharacterDrawTest : public SkinDrawFixture {
protected:
    void SetUp() override {
        SkinDrawFixture::SetUp();
        const std::string bar = WriteText("bar.n3d", BarN3d);
        const std::string curves = WriteText("arm.txt", Curves);
        ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 'obj'); sel('obj'); "
                        "tz(-0.5); new('ncharacternode', 'char'); sel('char'); "
                        "new('nmeshnode', 'skin'); sel('skin'); setfilename('" + bar + "'); setreadonly(true); "
                        "setcastshadow(true); sel('..'); setskinmesh('skin'); setcastshadow(true); "
                        "setanimfile('" + curves + "'); beginjoints(3); "
                        "addjoint(0, 'root', -1, 0, 0, 0, 0, 0, 0, 1); addjoint(1, 'arm', 0, 0, 0, 0, 0, 0, 0, 1); "
                        "addjoint(2, 'tip', 1, 0.5, 0, 0, 0, 0, 0, 1); endjoints(); beginstates(2); "
                        "addstate(0, 'rest'); addstate(1, 'down'); "
                        "beginstateanims(0, 1); addstateanim(0, 0, 'a', 'w'); endstateanims(0); "
                        "beginstateanims(1, 1); addstateanim(1, 0, 'a', 'w'); endstateanims(1); endstates(); sel('/')"));
        channels->SetChannel1f(channels->GenChannel("w"), 1.0f);
        character = static_cast<nCharacterNode*>(kernel->Lookup("/scene/obj/char"));
        static_cast<nVisNode*>(kernel->Lookup("/scene"))->AddRenderContext(0);
    }
    void Play(const char* state, float t) {
        channels->SetChannelString(channels->GenChannel("charstate"), state);
        channels->SetChannel1f(channels->GenChannel("time"), t);
        Frame("/scene");
    }
    bool BarAtRest() { return IsRed(44, 32) && IsRed(38, 30) && IsClear(32, 44); }
    bool BarDown() { return IsRed(32, 44) && IsRed(30, 38) && IsClear(44, 32); }

    nCharacterNode* character = nullptr;
};

TEST_F(CharacterDrawTest, TheSkinIsDrawnWhereTheStateTurnsItsJoint) {
    Play("rest", 0.1f);
    EXPECT_TRUE(BarAtRest());
    Play("down", 0.2f);
    EXPECT_TRUE(BarDown());
    // The caster holds the turned corners; the box is the +-2d cube of the rest mesh.
    nShadowCaster* caster = character->GetSkin().GetCaster();
    ASSERT_NE(caster, nullptr);
    ASSERT_EQ(caster->GetNumVertices(), 4);
    EXPECT_EQ(caster->GetNumEdges(), 1);
    const float* c = caster->GetCoords();
    EXPECT_NEAR(c[3], -0.1f, 1e-4f);  // corner 1 (0.6, -0.1) turns to (-0.1, -0.6)
    EXPECT_NEAR(c[4], -0.6f, 1e-4f);
    const float d = std::sqrt(0.5f * 0.5f + 0.2f * 0.2f);
    const bbox3& box = character->GetSkin().GetHolder().GetBuffer()->GetBoundingBox();
    EXPECT_NEAR(box.vmax.x, 2 * d, 1e-5f);
    EXPECT_NEAR(box.vmin.z, -2 * d, 1e-5f);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(CharacterDrawTest, RenderSkeletonDrawsTheBonesInsteadOfTheSkin) {
    ASSERT_TRUE(Run("sel('/scene/obj/char'); setrenderskeleton(true); sel('/')"));
    Play("down", 0.2f);
    // The line from the tip (0, -0.5) to the arm (0, 0) runs down column 32; the bar
    // beside it is not drawn.
    EXPECT_TRUE(NearPixel(32, 44, Red));
    EXPECT_TRUE(IsClear(29, 40));
    EXPECT_TRUE(IsClear(44, 32));
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
