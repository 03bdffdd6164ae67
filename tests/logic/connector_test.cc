// Connectors through the logic graph's passes: the rigid offset in the source's frame,
// the elastic trail and its catch-up, "none" and paths that name nothing or the wrong
// kind of object, a target deleted while held, and the saved form.
#include <gtest/gtest.h>

#include "logic/nLogicConnector.h"
#include "logic/nLogicElasticConnector.h"
#include "logic/nLogicVisual2.h"
#include "scene/nChannelServer.h"
#include "tests/logic/GraphFixture.h"

namespace {

void ExpectNear(const vector3& a, const vector3& b, float eps) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

// The rotation rows of two matrices agree within eps.
void ExpectSameTurn(const matrix44& a, const matrix44& b, float eps) {
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) EXPECT_NEAR(a.m[i][j], b.m[i][j], eps) << i << j;
    }
}

class ConnectorTest : public GraphFixture {
protected:
    nLogicVisual2* Visual(const char* path) { return static_cast<nLogicVisual2*>(kernel->New("nlogicvisual2", path)); }
    // A frame of the graph with the frame time in the "frametime" channel, which the
    // connectors' clocks count.
    void Frame(float dt) {
        channels->SetChannel1f(channels->GenChannel("frametime"), dt);
        LogicFrame(dt);
    }
    std::string Call(const char* path, const std::string& line) {
        return Run("sel('" + std::string(path) + "') __r = " + line) ? Global("__r") : "<error>";
    }
};

TEST_F(ConnectorTest, TheTargetSitsAtTheOffsetInTheSourcesOwnFrame) {
    ASSERT_TRUE(Run("new('nlogicvisual2', '/usr/logic/rig') sel('/usr/logic/rig') txyz(10, 0, 0)"
                    " new('nlogicvisual2', 's') sel('s') txyz(1, 2, 3) rxyz(0, 0, 1.5708)"
                    " new('nlogicvisual2', '/usr/logic/t')"
                    " new('nlogicconnector', '/usr/logic/c') sel('/usr/logic/c')"
                    " setsource('../rig/s') settarget('../t') setoffsetpos(0, 1, 0)"));
    auto* s = static_cast<nLogicVisual2*>(Lookup("/usr/logic/rig/s"));
    auto* t = static_cast<nLogicVisual2*>(Lookup("/usr/logic/t"));
    EXPECT_EQ(Call("/usr/logic/c", "getsource()"), "/usr/logic/rig/s");
    EXPECT_EQ(Call("/usr/logic/c", "gettarget()"), "/usr/logic/t");
    Frame(0.1f);
    // One unit along the source's turned y axis, from its local place: the rig's move
    // is not part of it.
    const vector3 up = s->GetAxis("y");
    ASSERT_GT((up - vector3(0.0f, 1.0f, 0.0f)).Len(), 1.0f);
    ExpectNear(t->GetMatrix().Translation(), vector3(1.0f, 2.0f, 3.0f) + up, 1e-5f);
    ExpectSameTurn(t->GetMatrix(), s->GetMatrix(), 1e-5f);

    // A quarter turn about y: the target's x axis points along -z, its z axis along x.
    ASSERT_TRUE(Run("sel('/usr/logic/rig/s') rxyz(0, 0, 0) sel('/usr/logic/c') setoffsetpos(0, 0, 0)"
                    " setoffsetrot(0, 1.5708, 0)"));
    Frame(0.1f);
    ExpectNear(t->GetAxis("x"), vector3(0.0f, 0.0f, -1.0f), 1e-4f);
    ExpectNear(t->GetAxis("z"), vector3(1.0f, 0.0f, 0.0f), 1e-4f);
    ExpectNear(t->GetMatrix().Translation(), vector3(1.0f, 2.0f, 3.0f), 1e-5f);
}

TEST_F(ConnectorTest, TheElasticTargetShowsTheDelayedPoseAndCatchesUpInPosition) {
    nLogicVisual2* s = Visual("/usr/logic/s");
    nLogicVisual2* slow = Visual("/usr/logic/slow");
    nLogicVisual2* quick = Visual("/usr/logic/quick");
    ASSERT_TRUE(Run("new('nlogicelasticconnector', '/usr/logic/e0') sel('/usr/logic/e0')"
                    " setsource('../s') settarget('../slow') setelasticity(0, 0.8)"
                    " new('nlogicelasticconnector', '/usr/logic/e1') sel('/usr/logic/e1')"
                    " setsource('../s') settarget('../quick') setelasticity(1, 0.8)"));
    auto* e0 = static_cast<nLogicElasticConnector*>(Lookup("/usr/logic/e0"));
    // The source runs along x at 1 unit/s and turns about y at 0.25 rad/s.
    auto pose = [](nLogicVisual2* v, float time) {
        v->SetPosition(vector3(time, 0.0f, 0.0f));
        v->SetRotation(0.0f, 0.25f * time, 0.0f);
    };
    for (int i = 0; i < 40; i++) {
        pose(s, e0->GetTime() + 0.1f);
        Frame(0.1f);
    }
    const float now = e0->GetTime();
    ASSERT_NEAR(now, 4.0f, 1e-4f);
    nLogicVisual2* then = Visual("/usr/then");
    pose(then, now - 0.8f);
    // Catch-up 0: the source's pose of 0.8 s ago, within a slot of the history.
    ExpectNear(slow->GetMatrix().Translation(), then->GetMatrix().Translation(), 0.15f);
    ExpectSameTurn(slow->GetMatrix(), then->GetMatrix(), 0.08f);
    // Catch-up 1: on the source's current place, turned as 0.8 s ago. The source is
    // turned by then, so a catch-up taken in the delayed pose's frame would miss it.
    ExpectNear(quick->GetMatrix().Translation(), s->GetMatrix().Translation(), 1e-4f);
    ExpectSameTurn(quick->GetMatrix(), slow->GetMatrix(), 1e-5f);

    // The command reaches the elastic connector's own SetSource: a new source starts a
    // new trail instead of the old source's poses.
    nLogicVisual2* other = Visual("/usr/logic/other");
    other->SetPosition(vector3(50.0f, 0.0f, 0.0f));
    ASSERT_TRUE(Run("sel('/usr/logic/e0') setsource('../other')"));
    Frame(0.1f);
    ExpectNear(slow->GetMatrix().Translation(), vector3(50.0f, 0.0f, 0.0f), 1e-4f);
}

TEST_F(ConnectorTest, EndsThatDoNotResolveStopThePlacementButNotTheChildren) {
    nLogicVisual2* s = Visual("/usr/logic/s");
    nLogicVisual2* t = Visual("/usr/logic/t");
    ASSERT_TRUE(Run("new('nlogicconnector', '/usr/logic/c') sel('/usr/logic/c') setsource('../s') settarget('../t')"));
    NewNode("/usr/logic/c/kid", "");
    s->SetPosition(vector3(1.0f, 0.0f, 0.0f));
    Frame(0.1f);
    EXPECT_EQ(t->GetPosition().x, 1.0f);

    // After each change the target stays where it is and the child is still traversed.
    auto unplaced = [&](const char* what) {
        SCOPED_TRACE(what);
        s->SetPosition(s->GetPosition() + vector3(1.0f, 0.0f, 0.0f));
        const float x = t->GetPosition().x;
        logicEvents.clear();
        Frame(0.1f);
        EXPECT_EQ(t->GetPosition().x, x);
        EXPECT_EQ(Events("traverse kid").size(), 1u);
    };
    ASSERT_TRUE(Run("setsource('none')"));
    EXPECT_EQ(Call("/usr/logic/c", "getsource()"), "none");
    unplaced("none");
    ASSERT_TRUE(Run("setsource('../nobody')"));
    EXPECT_EQ(Call("/usr/logic/c", "getsource()"), "none");
    unplaced("a path naming nothing");

    // An object of the wrong class is a script error, logged once until the path is set
    // again.
    ASSERT_TRUE(Run("new('nlogicnode', '/usr/logic/plain') sel('/usr/logic/c') setsource('../plain')"));
    const std::string wrong = "source '../plain' is a 'nlogicnode', not an 'nlogicvisual2'";
    unplaced("wrong class");
    unplaced("wrong class again");
    EXPECT_EQ(Call("/usr/logic/c", "getsource()"), "none");
    EXPECT_EQ(Count(log.text, wrong), 1) << log.text;
    ASSERT_TRUE(Run("setsource('../plain')"));
    unplaced("wrong class set again");
    EXPECT_EQ(Count(log.text, wrong), 2);
    // A visual logic node in its place is placed.
    ASSERT_TRUE(Run("delete('/usr/logic/plain') new('nlogicvisual2', '/usr/logic/plain')"));
    Frame(0.1f);
    EXPECT_EQ(Call("/usr/logic/c", "getsource()"), "/usr/logic/plain");
    EXPECT_EQ(t->GetPosition().x, 0.0f);

    // A target deleted by a script while held is "none" from then on.
    ASSERT_TRUE(Run("delete('/usr/logic/t')"));
    logicEvents.clear();
    Frame(0.1f);
    EXPECT_EQ(Events("traverse kid").size(), 1u);
    EXPECT_EQ(Call("/usr/logic/c", "gettarget()"), "none");
}

TEST_F(ConnectorTest, SavesOffsetsOffZeroTargetBeforeSourceAndLoadsTheGoldenFileBack) {
    Visual("/usr/logic/s");
    Visual("/usr/logic/t");
    // Zero offsets and a source naming nothing write none of their lines.
    ASSERT_TRUE(Run("new('nlogicconnector', '/usr/logic/c') sel('/usr/logic/c')"
                    " setsource('../nobody') settarget('../t')"));
    ASSERT_TRUE(Lookup("/usr/logic/c")->SaveAs(Path("c").c_str()));
    const std::string saved = Slurp(Path("c.n"));
    EXPECT_NE(saved.find("settarget( \"/usr/logic/t\" )"), std::string::npos) << saved;
    for (const char* cmd : {"setoffsetpos", "setoffsetrot", "setsource"}) {
        EXPECT_EQ(saved.find(cmd), std::string::npos) << cmd;
    }

    ASSERT_TRUE(Run("new('nlogicelasticconnector', '/usr/logic/e') sel('/usr/logic/e')"
                    " setsource('../s') settarget('../t') setoffsetpos(0, 0, 0.5) setelasticity(0.5, 0.25)"));
    ASSERT_TRUE(Lookup("/usr/logic/e")->SaveAs(Path("e").c_str()));
    const std::string golden = SourceDir() + "/tests/logic/golden/connector_e.n";
    EXPECT_EQ(Slurp(Path("e.n")), Slurp(golden));

    kernel->SetCwd(kernel->New("nroot", "/usr/logic/loaded"));
    auto* back = static_cast<nLogicElasticConnector*>(kernel->Load(golden.c_str()));
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_EQ(back->GetSource(), "/usr/logic/s");
    float catchUp, delay;
    back->GetElasticity(catchUp, delay);
    EXPECT_EQ(delay, 0.25f);
    ASSERT_TRUE(back->SaveAs(Path("back").c_str()));
    EXPECT_EQ(Slurp(Path("back.n")), Slurp(golden));
}

}  // namespace
