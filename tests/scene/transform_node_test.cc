#include <cmath>
#include <string>
#include <vector>

#include "scene/n3DNode.h"
#include "scene/nChannelSet.h"
#include "tests/scene/SceneFixture.h"

namespace {

constexpr float Pi = 3.1415927f;

// p * m for a row vector.
vector3 Apply(const matrix44& m, const vector3& p) {
    return vector3(p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
                   p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
                   p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]);
}

::testing::AssertionResult Near(const vector3& a, const vector3& b, float tol = 1e-5f) {
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") is not (" << b.x << ", "
                                         << b.y << ", " << b.z << ")";
}

vector3 Row(const matrix44& m, int i) { return vector3(m.m[i][0], m.m[i][1], m.m[i][2]); }

class TransformNodeTest : public SceneFixture {
protected:
    n3DNode* New3D(const char* path) { return static_cast<n3DNode*>(kernel->New("n3dnode", path)); }
    void SetChannel(const char* name, float v) { channels->SetChannel1f(channels->GenChannel(name), v); }
    // True when the test mesh node below the tree was computed in the last frame.
    bool Drawn(nVisNode* root) {
        sceneEvents.clear();
        Frame(root);
        for (const std::string& c : Computes()) {
            if (c == "m") return true;
        }
        return false;
    }
};

TEST_F(TransformNodeTest, LocalMatrixScalesThenTurnsAboutXYZThenTranslates) {
    n3DNode* t = New3D("/t");
    t->Sxyz(2, 3, 4);
    t->Rxyz(30, 45, 60);
    t->Txyz(1, 2, 3);
    // A point followed through each step by hand, with row vectors.
    vector3 p(1, 1, 1);
    p = vector3(p.x * 2, p.y * 3, p.z * 4);
    float a = 30 * Pi / 180, c = std::cos(a), s = std::sin(a);
    p = vector3(p.x, p.y * c - p.z * s, p.y * s + p.z * c);
    a = 45 * Pi / 180, c = std::cos(a), s = std::sin(a);
    p = vector3(p.x * c + p.z * s, p.y, p.z * c - p.x * s);
    a = 60 * Pi / 180, c = std::cos(a), s = std::sin(a);
    p = vector3(p.x * c - p.y * s, p.x * s + p.y * c, p.z);
    p = vector3(p.x + 1, p.y + 2, p.z + 3);
    EXPECT_TRUE(Near(Apply(t->GetLocalMatrix(), vector3(1, 1, 1)), p));

    // Quaternion mode: the quaternion's matrix stands in for the three turns. A quarter
    // turn about z as the quaternion matrix has it takes x to -y.
    const float h = std::sqrt(0.5f);
    t->Qxyzw(0, 0, h, h);
    EXPECT_TRUE(Near(Apply(t->GetLocalMatrix(), vector3(1, 0, 0)), vector3(1, 2 - 2, 3)));
    // Per component setters go through the same rebuild.
    t->Tx(-1);
    t->Sy(5);
    EXPECT_TRUE(Near(Apply(t->GetLocalMatrix(), vector3(0, 1, 0)), vector3(-1 + 5, 2, 3)));
}

TEST_F(TransformNodeTest, ScriptCommandsSetAndGetInDegrees) {
    New3D("/t");
    ASSERT_TRUE(Run("sel('/t'); qxyzw(0, 0, 1, 0); rxyz(90, 0, 0); x, y, z = getr(); "
                    "qx, qy, qz, qw = getq(); tx(4); ty(5); tz(6); a, b, c = gett(); sz(7); d, e, f = gets()"));
    EXPECT_FLOAT_EQ(std::stof(Global("x")), 90.0f);
    EXPECT_EQ(Global("y"), "0.0");
    // The quaternion is kept, but Euler angles are in use again.
    EXPECT_EQ(Global("qz"), "1.0");
    auto* t = static_cast<n3DNode*>(Lookup("/t"));
    EXPECT_FALSE(t->GetFlags() & n3DNode::QuaternionMode);
    EXPECT_EQ(Global("a") + Global("b") + Global("c"), "4.05.06.0");
    EXPECT_EQ(Global("f"), "7.0");
    // Stored as radians with 3.1415927.
    EXPECT_FLOAT_EQ(t->GetLocalMatrix().m[1][2], std::sin(90 * 3.1415927f / 180));
    ASSERT_TRUE(Run("rx(45); ry(30); rz(-20); x, y, z = getr()"));
    EXPECT_NEAR(std::stof(Global("x")), 45, 1e-4);
    EXPECT_NEAR(std::stof(Global("z")), -20, 1e-4);
    for (const char* cmd : {"setactive", "setsprite", "setbillboard", "setlockviewer", "setviewspace"}) {
        std::string get = std::string("get") + (cmd + 3);
        ASSERT_TRUE(Run(std::string(cmd) + "(true); v = " + get + "()")) << cmd;
        EXPECT_EQ(Global("v"), "1") << cmd;
    }
    ASSERT_TRUE(Run("sethighdetail(false); setmaxlod(2.5); v = gethighdetail(); l = getmaxlod()"));
    EXPECT_EQ(Global("v"), "nil");
    EXPECT_EQ(Global("l"), "2.5");
}

TEST_F(TransformNodeTest, AMatrixSetWholeIsUsedUntilASetterRuns) {
    n3DNode* t = New3D("/t");
    t->Txyz(1, 0, 0);
    matrix44 m;
    m.m[3][1] = 9;
    t->SetLocalMatrix(m);
    Node("/t/m", nTestVisNode::Mesh);
    Frame(t);
    EXPECT_EQ(sg->GetNode(1)->matrix.m[3][1], 9.0f);
    EXPECT_EQ(sg->GetNode(1)->matrix.m[3][0], 0.0f);
    // Any transform setter goes back to the node's own values.
    t->Sx(1);
    Frame(t);
    EXPECT_EQ(sg->GetNode(1)->matrix.m[3][0], 1.0f);
    EXPECT_EQ(sg->GetNode(1)->matrix.m[3][1], 0.0f);
}

TEST_F(TransformNodeTest, LodAndDetailChannelsCullTheSubtree) {
    n3DNode* t = New3D("/t");
    n3DNode* inner = New3D("/t/inner");
    Node("/t/inner/m", nTestVisNode::Mesh);
    // Max LOD 0: never culled.
    SetChannel("lod", 1000);
    EXPECT_TRUE(Drawn(t));
    // The inner node reads the context of the outer one.
    EXPECT_NE(sg->GetNode(1)->channelContext, nullptr);
    EXPECT_EQ(sg->GetNode(2)->channelContext, sg->GetNode(1)->channelContext);
    inner->SetMaxLod(3);
    SetChannel("lod", 3);
    EXPECT_FALSE(Drawn(t));
    SetChannel("lod", 2.9f);
    EXPECT_TRUE(Drawn(t));

    // Detail counts only with high detail off, and must be above 0.5.
    SetChannel("detail", 0.5f);
    EXPECT_TRUE(Drawn(t));
    inner->SetHighDetail(false);
    EXPECT_FALSE(Drawn(t));
    SetChannel("detail", 0.51f);
    EXPECT_TRUE(Drawn(t));
    // An inactive node skips its subtree and opens no scene node.
    t->SetActive(false);
    EXPECT_FALSE(Drawn(t));
    EXPECT_EQ(sg->GetNodeCount(), 1);
    EXPECT_EQ(log.text, "");
}

TEST_F(TransformNodeTest, ViewSpaceLockViewerSpriteAndBillboard) {
    nTestVisNode* root = Transform("/root", 10, 20, 30);
    n3DNode* vs = New3D("/root/vs");
    vs->Txyz(1, 2, 3);
    vs->SetViewSpace(true);
    Node("/root/vs/m", nTestVisNode::Mesh);
    n3DNode* lock = New3D("/root/lock");
    lock->Txyz(1, 2, 3);
    lock->SetLockViewer(true);
    Node("/root/lock/m", nTestVisNode::Mesh);
    matrix44 viewer;
    viewer.m[3][0] = 7, viewer.m[3][1] = 8, viewer.m[3][2] = 9;
    gfx->SetMatrix(nGfxServer::VIEWER, viewer);
    matrix44 view;
    view.m[3][2] = -100;
    Frame(root, true, view);
    // Records: scene root, /root, vs, lock. View space: only its own matrix.
    EXPECT_TRUE(Near(sg->GetNode(2)->matrix.Translation(), vector3(1, 2, 3)));
    // Lock viewer: the viewer's position, then the parents as usual.
    EXPECT_TRUE(Near(sg->GetNode(3)->matrix.Translation(), vector3(17, 28, 39 - 100)));

    n3DNode* sprite = New3D("/sprite");
    sprite->Txyz(3, 0, -4);
    sprite->Rxyz(10, 20, 30);
    sprite->Sxyz(2, 2, 2);
    sprite->SetSprite(true);
    Frame(sprite);
    const matrix44& m = sg->GetNode(1)->matrix;
    // Faces the view-space origin, upright, unscaled, where it was.
    EXPECT_TRUE(Near(Row(m, 2), vector3(0.6f, 0, -0.8f)));
    EXPECT_TRUE(Near(Row(m, 0), vector3(-0.8f, 0, -0.6f)));
    EXPECT_TRUE(Near(Row(m, 1), vector3(0, 1, 0)));
    EXPECT_TRUE(Near(m.Translation(), vector3(3, 0, -4)));
    EXPECT_EQ(m.m[0][3], 0.0f);

    n3DNode* board = New3D("/board");
    board->Txyz(0, 0, -5);
    board->Sxyz(2, 2, 2);
    board->Rz(90);
    board->SetBillboard(true);
    Frame(board);
    // Its own y axis stays (now along -x); x and z turn about it towards the viewer.
    const matrix44& b = sg->GetNode(1)->matrix;
    EXPECT_TRUE(Near(Row(b, 1), vector3(-1, 0, 0)));
    EXPECT_TRUE(Near(Row(b, 0), vector3(0, -1, 0)));
    EXPECT_TRUE(Near(Row(b, 2), vector3(0, 0, -1)));
    EXPECT_TRUE(Near(b.Translation(), vector3(0, 0, -5)));
}

TEST_F(TransformNodeTest, TooDeepANestingFailsTheAttach) {
    // The scene root takes one level of 32.
    std::string path;
    for (int i = 0; i < 32; i++) {
        path += "/t";
        New3D(path.c_str());
    }
    Node((path + "/m").c_str(), nTestVisNode::Mesh);
    EXPECT_FALSE(Drawn(static_cast<nVisNode*>(Lookup("/t"))));
    // With every level taken the node refuses; with one free it attaches.
    auto* innermost = static_cast<n3DNode*>(Lookup(path.c_str()));
    gfx->BeginScene();
    sg->BeginScene(matrix44());
    for (int i = 0; i < 31; i++) sg->PushNode();
    EXPECT_FALSE(innermost->Attach(sg));
    sg->PopNode();
    EXPECT_TRUE(innermost->Attach(sg));
    sg->EndScene(false);
}

TEST_F(TransformNodeTest, SavesOnlyWhatDiffersFromANewNode) {
    n3DNode* plain = New3D("/plain");
    ASSERT_TRUE(plain->SaveAs(Path("plain").c_str()));
    EXPECT_EQ(Slurp(Path("plain.n")).find("("), std::string::npos) << Slurp(Path("plain.n"));
    plain->SetActive(false);
    ASSERT_TRUE(plain->SaveAs(Path("plain").c_str()));
    std::string text = Slurp(Path("plain.n"));
    EXPECT_NE(text.find("setactive( false )"), std::string::npos) << text;
    EXPECT_EQ(text.find("txyz"), std::string::npos);

    n3DNode* t = New3D("/t");
    t->Txyz(1, 2, 3);
    t->Rxyz(90, 0, 45);
    t->Sxyz(1, 2, 1);
    t->SetMaxLod(4);
    t->SetSprite(true);
    t->SetBillboard(true);
    t->SetLockViewer(true);
    t->SetHighDetail(false);
    t->SetViewSpace(true);
    n3DNode* q = New3D("/q");
    q->Rxyz(10, 0, 0);
    q->Qxyzw(0, 1, 0, 0);
    ASSERT_TRUE(t->SaveAs(Path("t").c_str()));
    ASSERT_TRUE(q->SaveAs(Path("q").c_str()));
    EXPECT_EQ(Slurp(Path("q.n")).find("rxyz"), std::string::npos);
    t->Release();
    q->Release();
    kernel->SetCwd(nullptr);
    auto* t2 = static_cast<n3DNode*>(kernel->Load(Path("t.n").c_str()));
    auto* q2 = static_cast<n3DNode*>(kernel->Load(Path("q.n").c_str()));
    ASSERT_NE(t2, nullptr);
    ASSERT_NE(q2, nullptr);
    EXPECT_TRUE(Near(t2->GetT(), vector3(1, 2, 3)));
    EXPECT_TRUE(Near(t2->GetR(), vector3(90, 0, 45), 1e-4f));
    EXPECT_TRUE(Near(t2->GetS(), vector3(1, 2, 1)));
    EXPECT_EQ(t2->GetMaxLod(), 4.0f);
    EXPECT_EQ(t2->GetFlags() & ~n3DNode::Dirty, n3DNode::Sprite | n3DNode::Billboard | n3DNode::LockViewer |
                                                     n3DNode::Active | n3DNode::ViewSpace);
    EXPECT_TRUE(q2->GetFlags() & n3DNode::QuaternionMode);
    EXPECT_EQ(q2->GetQ(), quaternion(0, 1, 0, 0));
}

}  // namespace
