// A mesh bent by bones on the OpenGL device, built by a script, saved and loaded.
#include <fstream>
#include <sstream>

#include "anim/nJoint2.h"
#include "anim/nSkinNode.h"
#include "gfx/nVertexBuffer.h"
#include "tests/anim/SkinDrawFixture.h"

namespace {

// A red bar from x -0.6 to 0.7 at y -0.1 to 0.1: the left quad on bone 0 (its inner
// corners half on bone 1), the right quad, from x 0.2, on bone 1.
const char* const BarN3d =
    "v -0.6 -0.1 0\nv 0.2 -0.1 0\nv 0.2 0.1 0\nv -0.6 0.1 0\n"
    "v 0.2 -0.1 0\nv 0.7 -0.1 0\nv 0.7 0.1 0\nv 0.2 0.1 0\n"
    "rgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\n"
    "rgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\n"
    "jw1 0 1\njw2 0 0.5 1 0.5\njw2 0 0.5 1 0.5\njw1 0 1\n"
    "jw1 1 1\njw1 1 1\njw1 1 1\njw1 1 1\n"
    "f 1 2 3\nf 1 3 4\nf 5 6 7\nf 5 7 8\n";

class BoneDrawTest : public SkinDrawFixture {
protected:
    void SetUp() override {
        SkinDrawFixture::SetUp();
        const std::string bar = WriteText("bar.n3d", BarN3d);
        ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 'obj'); sel('obj'); tz(-0.5); "
                        "new('nbonesystem', 'sys'); sel('sys'); new('nbone', 'root'); sel('root'); "
                        "new('nbone', 'b1'); sel('b1'); otxyz(0.2, 0, 0); sel('../..'); "
                        "new('nskinnode', 'skin'); sel('skin'); new('nmeshnode', 'mesh'); sel('mesh'); "
                        "setfilename('" + bar + "'); setreadonly(true); sel('/')"));
    }
    // Left half and right half flat; nothing above or below the joint.
    bool Flat() { return IsRed(16, 32) && IsRed(52, 32) && IsClear(38, 21) && IsClear(38, 43); }
    // Left half flat; the right half turned about the joint at x 0.2 (column 38).
    bool Bent() { return IsRed(16, 32) && IsClear(52, 32) && (IsRed(38, 21) != IsRed(38, 43)); }
};

TEST_F(BoneDrawTest, TheBarBendsWhereAScriptTurnsItsBone) {
    Frame("/scene");
    EXPECT_TRUE(Flat());
    auto* skin = static_cast<nSkinNode*>(kernel->Lookup("/scene/obj/sys/skin"));
    // The box is the +-2d cube of the rest mesh, whatever the pose.
    const float d = std::sqrt(1.3f * 1.3f + 0.2f * 0.2f);
    EXPECT_NEAR(skin->GetSkin().GetHolder().GetBuffer()->GetBoundingBox().vmax.y, 2 * d, 1e-5f);

    ASSERT_TRUE(Run("sel('/scene/obj/sys/root/b1'); rz(90); sel('/')"));
    Frame("/scene");
    EXPECT_TRUE(Bent());
    EXPECT_NEAR(skin->GetSkin().GetHolder().GetBuffer()->GetBoundingBox().vmin.x, -2 * d, 1e-5f);
    EXPECT_FALSE(TakeErrors());

    // Saved in each class's order and loaded back: the same picture.
    ASSERT_TRUE(kernel->Lookup("/scene")->SaveAs(Path("scene").c_str()));
    std::ifstream in(Path("scene.n"));
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    size_t at = s.find("nbone");
    for (const char* cmd : {"otxyz(", "oqxyzw(", "osxyz(", "setvisible("}) {
        const size_t p = s.find(cmd, at);
        ASSERT_NE(p, std::string::npos) << cmd << "\n" << s;
        at = p;
    }
    EXPECT_NE(s.find("setrootbone("), std::string::npos);
    kernel->Lookup("/scene")->Release();
    kernel->SetCwd(nullptr);
    ASSERT_NE(kernel->Load(Path("scene.n").c_str()), nullptr);
    Frame("/scene");
    EXPECT_TRUE(Bent());
    EXPECT_FALSE(TakeErrors());
}

TEST_F(BoneDrawTest, ASkinWithoutItsSetupDrawsNothingAndSaysSoOnce) {
    // Not under a bone system.
    ASSERT_TRUE(Run("sel('/scene/obj'); new('nskinnode', 'loose'); sel('loose'); new('nmeshnode', 'mesh'); "
                    "sel('mesh'); setfilename('bar.n3d'); setreadonly(true); sel('/')"));
    Frame("/scene");
    Frame("/scene");
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_NE(log.errors[0].find("/scene/obj/loose: the parent is no nbonesystem"), std::string::npos);
    log.errors.clear();
    // No mesh child.
    kernel->Lookup("/scene/obj/loose")->Release();
    kernel->Lookup("/scene/obj/sys/skin/mesh")->Release();
    Frame("/scene");
    Frame("/scene");
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_NE(log.errors[0].find("no nmeshnode child"), std::string::npos);
    EXPECT_TRUE(IsClear(52, 32));
}

// A bone animation of two states over hand-written key files turns bone 1 (offset 0, so
// it turns about the origin): state "bend" holds it at 90 degrees about z, "still" at
// rest; their weight channels choose.
TEST_F(BoneDrawTest, KeyFilesDriveTheBonesAndTheSkinFollows) {
    const std::string bend = WriteText("bend.tkey",
                                       "numbones(2)\nnumkeys(2)\nrotkey(1, 0, 0.0, 0.0, 0.70710678, 0.70710678)\n"
                                       "rotkey(1, 1, 0.0, 0.0, 0.70710678, 0.70710678)\n");
    const std::string still = WriteText("still.tkey", "numbones(2)\nnumkeys(2)\nrotkey(1, 0, 0, 0, 0, 1)\n"
                                                      "rotkey(1, 1, 0, 0, 0, 1)\ntranskey(0, 0, 0, 0, 0)\n");
    ASSERT_TRUE(Run("sel('/scene/obj/sys/root/b1'); otxyz(0, 0, 0); sel('/scene/obj/sys'); "
                    "new('nboneanim', 'anim'); sel('anim'); beginbones(2); setbone(0, 'root'); setbone(1, 'b1'); "
                    "endbones(); new('nboneanimstate', 'bend'); sel('bend'); setweightchannel('w_bend'); "
                    "setkeytime(0.5); setkeyfilename('" + bend + "'); sel('..'); new('nboneanimstate', 'still'); "
                    "sel('still'); setweightchannel('w_still'); setkeytime(0.5); setkeyfilename('" + still + "'); "
                    "sel('/')"));
    auto set = [&](const char* c, float v) { channels->SetChannel1f(channels->GenChannel(c), v); };
    set("w_bend", 1);
    set("w_still", 0);
    set("time", 0.2f);
    Frame("/scene");
    // The right quad (x 0.2 to 0.7) turned about the origin: straight up or down at x 0.
    EXPECT_TRUE(IsRed(16, 32));
    EXPECT_TRUE(IsClear(52, 32));
    EXPECT_NE(IsRed(32, 18), IsRed(32, 46));
    auto* b1 = static_cast<nJoint2*>(kernel->Lookup("/scene/obj/sys/root/b1"));
    EXPECT_NEAR(b1->GetSkinCopy().m[0][0], 0.0f, 1e-4f);
    EXPECT_NEAR(std::fabs(b1->GetSkinCopy().m[0][1]), 1.0f, 1e-4f);

    set("w_bend", 0);
    set("w_still", 1);
    set("time", 0.4f);
    Frame("/scene");
    EXPECT_TRUE(IsRed(16, 32));
    EXPECT_TRUE(IsRed(52, 32));
    EXPECT_TRUE(b1->GetSkinCopy().isequal(matrix44(), 1e-4f));
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
