// Joint nodes, bones and the bone system under the test frame driver.
#include <cmath>

#include "anim/nAnimPackage.h"
#include "anim/nBone.h"
#include "anim/nBoneSystem.h"
#include "anim/nJoint2.h"
#include "tests/scene/SceneFixture.h"

namespace {

// Records the immediate-mode calls as well.
class nLineGfx : public nRecordingGfx {
public:
    static const nClassInfo classInfo;
    void Begin(int primitive) override { sceneEvents.push_back("begin " + std::to_string(primitive)); }
    void Coord(float x, float y, float z) override { sceneEvents.push_back(Text("coord", x, y, z)); }
    void Rgba(float r, float g, float b, float) override { sceneEvents.push_back(Text("rgba", r, g, b)); }
    void End() override { sceneEvents.push_back("end"); }
    static std::string Text(const char* what, float a, float b, float c) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%s %g %g %g", what, a, b, c);
        return buf;
    }
};
const nClassInfo nLineGfx::classInfo = nClassInfo::Make<nLineGfx>("nlinegfx", "nrecordinggfx");

void ExpectT(const matrix44& m, float x, float y, float z, const char* what) {
    EXPECT_NEAR(m.m[3][0], x, 1e-5f) << what;
    EXPECT_NEAR(m.m[3][1], y, 1e-5f) << what;
    EXPECT_NEAR(m.m[3][2], z, 1e-5f) << what;
}

class BoneTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        nAnimPackage(kernel);
        kernel->AddClass(nLineGfx::classInfo);
        gfx->Release();
        gfx = static_cast<nRecordingGfx*>(kernel->New("nlinegfx", "/sys/servers/gfx"));
    }
    template <class T>
    T* At(const char* path) { return static_cast<T*>(Lookup(path)); }
    // The record a self-drawing test node registered in during the last frame.
    const nSceneNodeRecord* RecordOf(nVisNode* node) {
        for (int i = 0; i < sg->GetNodeCount(); i++)
            if (sg->GetNode(i)->otherVisual == node) return sg->GetNode(i);
        return nullptr;
    }
};

TEST_F(BoneTest, JointsChainRestAndSkinOnlyWithinTheirOwnClass) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('njoint2', 'j0'); sel('j0'); otxyz(1, 0, 0); "
                    "new('njoint2', 'j1'); sel('j1'); otxyz(0, 1, 0); oqxyzw(0, 0, 0.70710678, 0.70710678); "
                    "new('nbone', 'b'); sel('b'); otxyz(1, 0, 0); sel('/')"));
    nTestVisNode* probe = Node("/scene/j0/j1/probe", nTestVisNode::Other);
    auto* j0 = At<nJoint2>("/scene/j0");
    auto* j1 = At<nJoint2>("/scene/j0/j1");
    auto* b = At<nBone>("/scene/j0/j1/b");
    Frame(At<nVisNode>("/scene"));
    ExpectT(j1->GetRestMatrix(), 1, 1, 0, "j1 rest = offset x parent rest");
    ExpectT(b->GetRestMatrix(), 1, 0, 0, "a bone under a joint is a root");
    // Offsets only: every skin matrix is the identity, so a skin stays undeformed.
    for (nJoint2* j : {j0, j1, static_cast<nJoint2*>(b)}) EXPECT_TRUE(j->GetSkinCopy().isequal(matrix44(), 1e-5f));
    // Scene matrix = local x local offset x parent: j1 sits at (1, 1, 0).
    const nSceneNodeRecord* rec = RecordOf(probe);
    ASSERT_NE(rec, nullptr);
    ExpectT(rec->matrix, 1, 1, 0, "scene matrix");

    // j0 turned 90 degrees about z: its skin turns about its rest point (1, 0, 0), and
    // j1 carries j0's skin along.
    ASSERT_TRUE(Run("sel('/scene/j0'); rz(90); sel('/')"));
    Frame(At<nVisNode>("/scene"));
    const vector3 fixed = j0->GetSkinCopy() * vector3(1, 0, 0);
    const vector3 moved = j1->GetSkinCopy() * vector3(2, 0, 0);
    EXPECT_NEAR(fixed.x, 1, 1e-5f);
    EXPECT_NEAR(fixed.y, 0, 1e-5f);
    EXPECT_NEAR(moved.x, 1, 1e-5f);
    EXPECT_NEAR(std::fabs(moved.y), 1, 1e-5f);
    EXPECT_NEAR(j0->GetNormalMatrix()[0][0], 0, 1e-5f);

    // A parent's new offset reaches the child's rest only when the child's own offset
    // changes.
    ASSERT_TRUE(Run("sel('/scene/j0'); otxyz(5, 0, 0); sel('/')"));
    Frame(At<nVisNode>("/scene"));
    ExpectT(j1->GetRestMatrix(), 1, 1, 0, "stale child rest");
    ASSERT_TRUE(Run("sel('/scene/j0/j1'); otxyz(0, 1, 0); sel('/')"));
    Frame(At<nVisNode>("/scene"));
    ExpectT(j1->GetRestMatrix(), 5, 1, 0, "refreshed child rest");
    // A joint under a plain transform node is a root.
    EXPECT_EQ(j0->GetParentJoint(), nullptr);
    EXPECT_EQ(j1->GetParentJoint(), j0);
    EXPECT_EQ(b->GetParentJoint(), nullptr);
    EXPECT_EQ(log.text, "");
}

TEST_F(BoneTest, TheBoneSystemNumbersItsJointsOnceInPreOrder) {
    ASSERT_TRUE(Run("new('nbonesystem', '/s'); sel('/s'); new('nbone', 'root'); sel('root'); "
                    "new('nbone', 'A'); sel('A'); new('nbone', 'A1'); sel('..'); new('nbone', 'B'); sel('/')"));
    auto* s = At<nBoneSystem>("/s");
    EXPECT_FALSE(s->IsCollected());
    Frame(s);
    ASSERT_EQ(s->GetNumBones(), 4);
    const char* order[] = {"root", "A", "A1", "B"};
    for (int i = 0; i < 4; i++) EXPECT_STREQ(s->GetBone(i)->GetName(), order[i]);
    // Built once: a later bone is not numbered; a deleted one reads as none.
    ASSERT_TRUE(Run("sel('/s/root'); new('nbone', 'C'); sel('/')"));
    Lookup("/s/root/B")->Release();
    Frame(s);
    EXPECT_EQ(s->GetNumBones(), 4);
    EXPECT_EQ(s->GetBone(3), nullptr);
    EXPECT_EQ(s->GetBone(4), nullptr);

    // The root bone by path when no child is a joint; a path that does not resolve is
    // logged once.
    ASSERT_TRUE(Run("new('nbonesystem', '/t'); sel('/t'); setrootbone('/s/root/A'); sel('/')"));
    Frame(At<nVisNode>("/t"));
    EXPECT_EQ(At<nBoneSystem>("/t")->GetNumBones(), 2);
    ASSERT_TRUE(Run("new('nbonesystem', '/u'); sel('/u'); setrootbone('nothing'); sel('/')"));
    Frame(At<nVisNode>("/u"));
    Frame(At<nVisNode>("/u"));
    EXPECT_EQ(At<nBoneSystem>("/u")->GetNumBones(), 0);
    EXPECT_EQ(log.text, "/u: root bone 'nothing' is no njoint2; no bones numbered\n");
}

TEST_F(BoneTest, FindBoneAndRecursiveVisibility) {
    ASSERT_TRUE(Run("new('nbonesystem', '/s'); sel('/s'); new('nbone', 'root'); sel('root'); "
                    "new('nbone', 'A'); sel('A'); new('nbone', 'hand'); sel('..'); new('n3dnode', 'plain'); "
                    "sel('plain'); new('nbone', 'deep'); sel('/')"));
    auto* root = At<nBone>("/s/root");
    EXPECT_EQ(root->FindBone("root"), root);
    EXPECT_EQ(root->FindBone("."), root);
    EXPECT_EQ(root->FindBone(".."), nullptr);  // the bone system is no bone
    EXPECT_EQ(At<nBone>("/s/root/A")->FindBone(".."), root);
    EXPECT_EQ(root->FindBone("A"), Lookup("/s/root/A"));
    EXPECT_EQ(root->FindBone("hand"), Lookup("/s/root/A/hand"));
    EXPECT_EQ(root->FindBone("deep"), nullptr);  // behind a plain transform
    EXPECT_EQ(root->FindBone("none"), nullptr);
    ASSERT_TRUE(Run("sel('/s/root'); setvisiblerec(true); sel('/')"));
    EXPECT_TRUE(At<nBone>("/s/root/A/hand")->GetVisible());
    EXPECT_FALSE(At<nBone>("/s/root/plain/deep")->GetVisible());
}

TEST_F(BoneTest, AVisibleBoneDrawsItsLineAndAxesInItsParentsFrame) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); txyz(3, 0, 0); new('nbone', 'root'); sel('root'); "
                    "new('nbone', 'arm'); sel('arm'); txyz(0.5, 0, 0); setvisible(true); sel('/')"));
    Frame(At<nVisNode>("/scene"));
    std::vector<std::string> drawn;
    bool on = false;
    for (const std::string& e : sceneEvents) {
        if (e == "begin 3") on = true;
        if (on) drawn.push_back(e);
        if (e == "end") on = false;
    }
    const std::vector<std::string> expected = {
        "begin 3",         "rgba 0.6 0.8 1", "coord 0 0 0", "coord 0.5 0 0", "rgba 1 0 0", "coord 0 0 0",
        "coord 0.08 0 0",  "rgba 0 1 0",     "coord 0 0 0", "coord 0 0.08 0", "rgba 0 0 1", "coord 0 0 0",
        "coord 0 0 0.08",  "end"};
    EXPECT_EQ(drawn, expected);
    // In the root bone's frame: the model matrix before the lines is the root's.
    auto begin = std::find(sceneEvents.begin(), sceneEvents.end(), "begin 3");
    ASSERT_NE(begin, sceneEvents.end());
    EXPECT_EQ(*(begin - 1), "matrix 3 0 0");
}

}  // namespace
