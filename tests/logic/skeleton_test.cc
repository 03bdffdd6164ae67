// The skeleton logic node: joints posed each frame in the logic walk, red bone lines in
// the debug pass's immediate mode, refused joint tables, and its saved joint table.
#include <gtest/gtest.h>

#include <string>

#include "kernel/nObjectCount.h"
#include "logic/nLogicSkeleton.h"
#include "tests/logic/ObserverFixture.h"

namespace {

// Rows of a matrix: three axes, then the position.
matrix44 Rows(vector3 x, vector3 y, vector3 z, vector3 p) {
    matrix44 m;
    const vector3 rows[4] = {x, y, z, p};
    for (int r = 0; r < 4; r++) {
        m.m[r][0] = rows[r].x;
        m.m[r][1] = rows[r].y;
        m.m[r][2] = rows[r].z;
    }
    return m;
}

class SkeletonTest : public ObserverFixture {
protected:
    std::string Golden(const char* name) { return SourceDir() + "/tests/logic/golden/" + name; }
    // "root" at (1, 0, 0); "upper arm" 2 up from it, turned a quarter about z; "hand" 3
    // along the upper arm's x.
    nLogicSkeleton* Arm(const char* path) {
        EXPECT_TRUE(Run(std::string("new('nlogicskeleton', '") + path + "') sel('" + path +
                        "') beginjoints(3)"
                        " addjoint(0, 'root', -1, 1, 0, 0, 0, 0, 0, 1)"
                        " addjoint(1, 'upper arm', 0, 0, 2, 0, 0, 0, 0.70710678, 0.70710678)"
                        " addjoint(2, 'hand', 1, 3, 0, 0, 0, 0, 0, 1) endjoints() sel('/')"));
        return static_cast<nLogicSkeleton*>(Lookup(path));
    }
    static std::string Names(const nLogicSkeleton* s) {
        std::string out;
        for (int i = 0; i < s->GetSkeleton().GetNumJoints(); i++) {
            const nCharJoint* j = s->GetSkeleton().GetJoint(i);
            out += j->name + ":" + std::to_string(j->parentIndex) + " ";
        }
        return out;
    }
};

TEST_F(SkeletonTest, TheLogicWalkPosesEachJointAsItsLocalMatrixTimesItsParents) {
    nLogicSkeleton* s = Arm("/usr/logic/arm");
    ASSERT_NE(s, nullptr);
    LogicFrame(0.0f);
    const nCharSkeleton& sk = s->GetSkeleton();
    // The quarter turn about z takes x to -y and y to x.
    const vector3 turnedX(0, -1, 0), turnedY(1, 0, 0), z(0, 0, 1);
    EXPECT_TRUE(sk.GetJoint(0)->matrix.isequal(Rows({1, 0, 0}, {0, 1, 0}, z, {1, 0, 0}), 1e-5f));
    EXPECT_TRUE(sk.GetJoint(1)->matrix.isequal(Rows(turnedX, turnedY, z, {1, 2, 0}), 1e-5f));
    // The hand's offset along x is turned by its parent into -y.
    EXPECT_TRUE(sk.GetJoint(2)->matrix.isequal(Rows(turnedX, turnedY, z, {1, -1, 0}), 1e-5f));

    // A pose changed between frames shows in the next frame's matrices.
    s->GetSkeleton().GetJoint(1)->rotation = quaternion();
    LogicFrame(0.0f);
    EXPECT_TRUE(sk.GetJoint(2)->matrix.isequal(Rows({1, 0, 0}, {0, 1, 0}, z, {4, 2, 0}), 1e-5f));
}

TEST_F(SkeletonTest, EveryJointWithAParentDrawsOneRedSegmentFromItsParent) {
    nLogicSkeleton* s = Arm("/usr/logic/arm");
    LogicFrame(0.0f);
    ogfx->points.clear();
    logicEvents.clear();
    s->RenderModules();
    ASSERT_EQ(ogfx->points.size(), 4u);
    const float want[4][3] = {{1, 0, 0}, {1, 2, 0}, {1, 2, 0}, {1, -1, 0}};
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        const nObsGfx::Point& p = ogfx->points[size_t(i)];
        EXPECT_NEAR(p.x, want[i][0], 1e-5f);
        EXPECT_NEAR(p.y, want[i][1], 1e-5f);
        EXPECT_NEAR(p.z, want[i][2], 1e-5f);
        EXPECT_EQ(p.r, 1.0f);
        EXPECT_EQ(p.g, 0.0f);
        EXPECT_EQ(p.b, 0.0f);
        EXPECT_EQ(p.a, 1.0f);
    }
    EXPECT_EQ(Events("begin"), std::vector<std::string>{"begin 3"});

    // A lone root has no bone.
    ASSERT_TRUE(Run("new('nlogicskeleton', '/usr/logic/dot') sel('/usr/logic/dot') beginjoints(1)"
                    " addjoint(0, 'root', -1, 1, 1, 1, 0, 0, 0, 1) endjoints() sel('/')"));
    LogicFrame(0.0f);
    ogfx->points.clear();
    static_cast<nLogicSkeleton*>(Lookup("/usr/logic/dot"))->RenderModules();
    EXPECT_TRUE(ogfx->points.empty());
}

TEST_F(SkeletonTest, BadJointTablesAreLoggedAndChangeNothing) {
    ASSERT_TRUE(Run("new('nlogicskeleton', '/usr/logic/s') sel('/usr/logic/s')"
                    " addjoint(0, 'early', -1, 0, 0, 0, 0, 0, 0, 1)"));
    auto* s = static_cast<nLogicSkeleton*>(Lookup("/usr/logic/s"));
    EXPECT_TRUE(LogHas("/usr/logic/s: v_addjoint_isifffffff: joint 0 before v_beginjoints_i"));
    EXPECT_EQ(s->GetSkeleton().GetNumJoints(), 0);

    ASSERT_TRUE(Run("beginjoints(3) addjoint(0, 'root', -1, 0, 0, 0, 0, 0, 0, 1)"
                    " addjoint(3, 'past', 0, 0, 0, 0, 0, 0, 0, 1)"
                    " addjoint(-1, 'before', -1, 0, 0, 0, 0, 0, 0, 1)"
                    " addjoint(1, 'self', 1, 0, 0, 0, 0, 0, 0, 1)"
                    " addjoint(1, 'later', 2, 0, 0, 0, 0, 0, 0, 1)"
                    " addjoint(2, 'below', -2, 0, 0, 0, 0, 0, 0, 1)"));
    EXPECT_TRUE(LogHas("/usr/logic/s: v_addjoint_isifffffff: joint 3 is outside 0 to 2"));
    EXPECT_TRUE(LogHas("joint -1 is outside 0 to 2"));
    EXPECT_TRUE(LogHas("parent 1 of joint 1 is neither -1 nor an earlier joint"));
    EXPECT_TRUE(LogHas("parent 2 of joint 1 is neither"));
    EXPECT_TRUE(LogHas("parent -2 of joint 2 is neither"));
    EXPECT_EQ(Names(s), "root:-1 :-1 :-1 ");

    // A count a broken script gives keeps the table.
    ASSERT_TRUE(Run("beginjoints(-1) beginjoints(1000000000)"));
    EXPECT_TRUE(LogHas("/usr/logic/s: v_beginjoints_i: -1 joints"));
    EXPECT_TRUE(LogHas("v_beginjoints_i: 1000000000 joints"));
    EXPECT_EQ(Names(s), "root:-1 :-1 :-1 ");

    // Beginning again frees the old joints once (the sanitizers see a second free) and
    // leaves fresh ones.
    ASSERT_TRUE(Run("beginjoints(2)"));
    EXPECT_EQ(Names(s), ":-1 :-1 ");
    LogicFrame(0.0f);
}

// A table that data sizes counts against what data may keep: refused past it, the old
// joints stay.
TEST_F(SkeletonTest, AJointTableThatDataSizesIsChargedToData) {
    nLogicSkeleton* s = Arm("/usr/logic/arm");
    ASSERT_NE(s, nullptr);
    nObjectCount::SetLiveBytesBound(nObjectCount::DataLiveBytes() + (4 << 20));
    const char* result = nullptr;
    server->RunLine("obj('/usr/logic/arm').beginjoints(32768)", result);
    nObjectCount::SetLiveBytesBound(nObjectCount::LiveBytes);
    EXPECT_TRUE(LogHas("/usr/logic/arm: v_beginjoints_i refused")) << log.text;
    EXPECT_EQ(s->GetSkeleton().GetNumJoints(), 3);
}

TEST_F(SkeletonTest, TheSavedJointTableMatchesTheHandWrittenFileAndLoadsBack) {
    // Without joints nothing of the table is written.
    ASSERT_TRUE(Run("new('nlogicskeleton', '/usr/logic/empty')"));
    ASSERT_TRUE(Lookup("/usr/logic/empty")->SaveAs(Path("empty").c_str()));
    EXPECT_EQ(Slurp(Path("empty.n")).find("joints"), std::string::npos);

    nLogicSkeleton* s = Arm("/usr/logic/arm");
    ASSERT_TRUE(s->SaveAs(Path("arm").c_str()));
    EXPECT_EQ(Slurp(Path("arm.n")), Slurp(Golden("skeleton_arm.n")));

    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicSkeleton*>(kernel->Load(Golden("skeleton_arm.n").c_str()));
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(back->IsA("nlogicskeleton"));
    EXPECT_EQ(Names(back), "root:-1 upper arm:0 hand:1 ");
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        const nCharJoint* a = s->GetSkeleton().GetJoint(i);
        const nCharJoint* b = back->GetSkeleton().GetJoint(i);
        EXPECT_EQ(a->translation, b->translation);
        EXPECT_NEAR(a->rotation.z, b->rotation.z, 1e-7f);
        EXPECT_EQ(a->rotation.w, b->rotation.w);
        EXPECT_EQ(a->parent ? a->parent - s->GetSkeleton().GetJoint(0) : -1,
                  b->parent ? b->parent - back->GetSkeleton().GetJoint(0) : -1);
    }
    ASSERT_TRUE(back->SaveAs(Path("again").c_str()));
    EXPECT_EQ(Slurp(Path("again.n")), Slurp(Golden("skeleton_arm.n")));
}

}  // namespace
