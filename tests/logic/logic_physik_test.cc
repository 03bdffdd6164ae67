// The physics logic node: a box dropped onto a floor through the logic graph's passes,
// resting and waking, the contacts that become joints, its commands and saving.
#include <gtest/gtest.h>

#include <cmath>

#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "logic/nLogicPhysik2.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikBody.h"
#include "scene/nChannelServer.h"
#include "tests/logic/PhysikFixture.h"

namespace {

class LogicPhysikTest : public PhysikFixture {
protected:
    // A floor box of 10 x 1 x 10 with its top at y = 0, and a unit box whose bottom is
    // `height` above it.
    nLogicPhysik2* DropBox(float height) {
        EXPECT_TRUE(Run("new('nlogiccollision2', '/usr/logic/floor') sel('/usr/logic/floor') txyz(0, -0.5, 0)"
                        " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setbox(10, 1, 10)"
                        " sel('..') addcollision('physik', 'shape') setcollcontext('physik', 'physik')"));
        EXPECT_TRUE(Run("new('nlogicphysik2', '/usr/logic/box') sel('/usr/logic/box') txyz(0, " +
                        std::to_string(height + 0.5f) +
                        ", 0)"
                        " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setbox(1, 1, 1)"
                        " setdynamic(true) sel('..') addcollision('physik', 'shape')"
                        " new('nmodphysik', 'mass') sel('mass') setbox(1, 1, 1) sel('..') addphysik('physik', 'mass')"));
        return static_cast<nLogicPhysik2*>(Lookup("/usr/logic/box"));
    }
};

TEST_F(LogicPhysikTest, ADroppedBoxComesToRestOnTheFloor) {
    nLogicPhysik2* box = DropBox(1.0f);
    ASSERT_TRUE(box->HasPhysik());
    ASSERT_TRUE(box->HasCollision());
    const float dt = 1.0f / 30.0f;
    int frame = 0;
    for (; frame < 900 && box->GetPhysik(); frame++) Frame(dt);
    // Fallen, stopped on top of the floor, and resting once still for 10 s.
    EXPECT_FALSE(box->GetPhysik()) << "still awake after " << frame << " frames";
    EXPECT_NEAR(box->GetPosition().y, 0.5f, 0.08f);
    EXPECT_GT(frame, 300);
    // Resting, the node is no longer stepped and stays where it is.
    vector3 rest = box->GetPosition();
    for (int i = 0; i < 30; i++) Frame(dt);
    EXPECT_EQ(box->GetPosition(), rest);
    EXPECT_FALSE(box->HasPhysik());
}

TEST_F(LogicPhysikTest, RestingNeedsStillness) {
    nLogicPhysik2* box = DropBox(5.0f);
    nModPhysikState* st = box->GetPhysikState();
    auto* channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
    channels->SetChannel1f(channels->GenChannel("frametime"), 0.5f);
    // A body moved by 0.09 in one element a step moves the node every step; one moved by
    // 0.05 a step never rests either (it leaves the place where its rest clock started);
    // one creeping by 0.002 rests once still for more than 10 s.
    struct Case {
        float step;
        bool movesEachStep;
        bool rests;
    };
    for (const Case& c : {Case{0.09f, true, false}, Case{0.05f, false, false}, Case{0.002f, false, true}}) {
        box->SetPhysik(true);
        int moved = 0, frames = 0;
        for (; frames < 40 && box->GetPhysik(); frames++) {
            matrix44 before = box->GetMatrix();
            matrix44 after = before;
            after.m[3][0] += c.step;
            st->GetBody()->SetMatrix(after);
            if (box->StepPhysik(before)) moved++;
            EXPECT_NEAR(box->GetMotion().x, c.step, 1e-5f);
        }
        EXPECT_EQ(moved, c.movesEachStep ? 40 : 0) << c.step;
        EXPECT_EQ(!box->GetPhysik(), c.rests) << c.step;
        if (c.rests) {
            EXPECT_LE(frames, 22);
        }
    }
}

TEST_F(LogicPhysikTest, TheDeepestContactsBecomeJointsAndDeepHitsWake) {
    nLogicPhysik2* box = DropBox(5.0f);
    // 15 contacts: the first 12, each later deeper one replacing the shallowest kept.
    nCollideReport reports[15];
    nCollideReport* list[15];
    const float depths[15] = {0.5f, 0.1f, 0.2f, 0.9f, 0.3f, 0.05f, 0.6f, 0.7f, 0.8f, 0.4f, 0.45f, 0.35f, 1.0f, 0.01f, 0.95f};
    for (int i = 0; i < 15; i++) {
        reports[i].depth = depths[i];
        list[i] = &reports[i];
    }
    nCollideReport* kept[nLogicPhysik2::MaxContacts];
    ASSERT_EQ(nLogicPhysik2::KeepDeepest(list, 15, kept), 12);
    float sum = 0.0f;
    for (nCollideReport* r : kept) sum += r->depth;
    EXPECT_NEAR(sum, 0.5f + 0.2f + 0.9f + 0.3f + 0.6f + 0.7f + 0.8f + 0.4f + 0.45f + 0.35f + 1.0f + 0.95f, 1e-5f);

    // A resting physics partner hit at 0.04 stays resting; at 0.06 it wakes at its next
    // Trigger.
    ASSERT_TRUE(Run("new('nlogicphysik2', '/usr/logic/other') sel('/usr/logic/other')"
                    " new('nmodphysik', 'mass') sel('mass') setsphere(0.5) sel('..') addphysik('physik', 'mass')"
                    " setphysik(false)"));
    auto* other = static_cast<nLogicPhysik2*>(Lookup("/usr/logic/other"));
    nCollideObject2 mine, theirs;
    mine.owner = box;
    theirs.owner = other;
    nCollideReport hit;
    hit.objA = &mine;
    hit.objB = &theirs;
    nCollideReport* one[] = {&hit};
    hit.depth = 0.04f;
    box->JoinContacts(one, 1);
    EXPECT_FALSE(other->GetWake());
    hit.depth = 0.06f;
    box->JoinContacts(one, 1);
    EXPECT_TRUE(other->GetWake());
    EXPECT_FALSE(other->GetPhysik());
    other->Trigger(graph);
    EXPECT_TRUE(other->GetPhysik());
    EXPECT_FALSE(other->GetWake());
    // A contact whose first object is another node's makes no joint and wakes nothing.
    other->SetPhysik(false);
    hit.objA = &theirs;
    hit.objB = &mine;
    other->JoinContacts(one, 1);
    EXPECT_FALSE(other->GetWake());
}

TEST_F(LogicPhysikTest, CommandsSavingAndBadWords) {
    ASSERT_TRUE(Run("new('nlogicphysik2', '/usr/logic/p') sel('/usr/logic/p') setcontactparam('mu', -1)"
                    " setcontactparam('bounce', 0.25) setgravity(false) setmaxvelocity('linear', 7)"));
    auto* p = static_cast<nLogicPhysik2*>(Lookup("/usr/logic/p"));
    EXPECT_EQ(Eval("getcontactparam('mu') .. ' ' .. getcontactparam('bounce')"), "-1.0 0.25");
    EXPECT_EQ(Eval("getmaxvelocity('linear') .. ' ' .. getmaxvelocity('angular')"), "7.0 2.0");
    EXPECT_FALSE(p->GetGravity());

    // Unknown words are logged, change nothing and answer 0.
    log.text.clear();
    ASSERT_TRUE(Run("setmaxvelocity('Linear', 9) setcontactparam('Mu', 3) a = getmaxvelocity('x') b = getcontactparam('y')"));
    EXPECT_EQ(Eval("a .. ' ' .. b"), "0.0 0.0");
    EXPECT_FLOAT_EQ(p->GetMaxVelocity("linear"), 7.0f);
    EXPECT_TRUE(LogHas("'Linear' is neither"));
    EXPECT_TRUE(LogHas("nPhysikBody::_str2param, unknown param name !\n"));

    ASSERT_TRUE(p->SaveAs(Path("p").c_str()));
    std::string saved = Slurp(Path("p.n"));
    size_t coll = saved.find("setcollcontext( \"physik\", \"physik\" )\n");
    size_t tail = saved.find("setphysik( true )\nsetgravity( false )\nsetmaxvelocity( \"linear\", 7.00000000 )\n"
                             "setmaxvelocity( \"angular\", 2.00000000 )\nsetcontactparam( \"mu\", -1.00000000 )\n"
                             "setcontactparam( \"mu2\", ");
    ASSERT_NE(coll, std::string::npos) << saved;
    ASSERT_NE(tail, std::string::npos) << saved;
    EXPECT_LT(coll, tail);
    size_t last = 0;
    for (const char* name : {"mu", "mu2", "bounce", "bouncevel", "contactdir", "softerp", "softcfm", "motion1",
                             "motion2", "slip1", "slip2", "approx1", "approx11", "approx12"}) {
        size_t at = saved.find("setcontactparam( \"" + std::string(name) + "\"", last);
        ASSERT_NE(at, std::string::npos) << name;
        last = at + 1;
    }
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicPhysik2*>(kernel->Load(Path("p.n").c_str()));
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(back->SaveAs(Path("p2").c_str()));
    EXPECT_EQ(Slurp(Path("p2.n")), saved);
}

}  // namespace
