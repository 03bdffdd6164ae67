// Boats: the stat and value tables by name, named moves checked against the same push on
// a raw ODE body, the roll stabiliser, a body that is never left to rest, boats without a
// body in the step, and saving without the item variables.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "game/nbwBoat.h"
#include "logic/nModPhysikState.h"
#include "physics/nOdePhysikBody.h"
#include "tests/game/GameTestKernel.h"
#include "tests/logic/CommandTable.h"

namespace {

constexpr float kDt = 0.05f;

class BoatTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        boat = NewBoat("/usr/logic/boat");
    }
    nbwBoat* NewBoat(const char* path) {
        auto* b = static_cast<nbwBoat*>(kernel->New("nbwboat", path));
        EXPECT_TRUE(Run(std::string("sel('") + path + "')"));
        return b;
    }
    // A hull of 2 x 1 x 4 for the selected boat, floating (no gravity) unless `gravity`.
    void Hull(bool gravity = false) {
        ASSERT_TRUE(Run(std::string("new('nmodphysik', 'hull') sel('hull') setbox(2, 1, 4) sel('..')"
                                    " addphysik('physik', 'hull') setgravity(") +
                        (gravity ? "true" : "false") + ")"));
    }
    static nPhysikBody* Body(nbwBoat* b) { return b->GetPhysikState()->GetBody(); }
    static dBodyID Id(nbwBoat* b) { return static_cast<nOdePhysikBody*>(Body(b))->GetBodyId(); }
    // How far the boat's x axis is tilted out of the horizontal, in degrees.
    static float Roll(nbwBoat* b) {
        const matrix44 m = Body(b)->GetMatrix();
        return std::asin(std::clamp(m.m[0][1], -1.0f, 1.0f)) * 57.29578f;
    }
    static void ExpectNear(const vector3& got, const vector3& want, float tolerance, const char* what) {
        EXPECT_TRUE(got.isequal(want, tolerance))
            << what << ": " << got.x << " " << got.y << " " << got.z << " want " << want.x << " " << want.y << " "
            << want.z;
    }

    nbwBoat* boat = nullptr;
};

TEST_F(BoatTest, StatsAndValuesAreReadAndSetByTheirOwnNamesOnly) {
    const CommandTable kCmds = {{"v_setvalue_sf", "BSVL"}, {"f_getvalue_s", "BGVL"}, {"v_setstat_sf", "BSST"},
                                {"f_getstat_s", "BGST"},   {"v_playmove_sf", "BPLM"}};
    EXPECT_EQ(OwnCommands(kernel, "nbwboat", kCmds), kCmds);

    EXPECT_EQ(Eval("getstat('maxload')"), "340.0");
    EXPECT_EQ(Eval("getvalue('movement_accel')"), "20.0");
    EXPECT_EQ(boat->GetStatAt(nbwBoat::EnergieLose), 0.001f);
    ASSERT_TRUE(Run("setstat('zoomscale', 2.5) setvalue('draft_accel', -1)"));
    EXPECT_EQ(boat->GetStatAt(nbwBoat::ZoomScale), 2.5f);
    EXPECT_EQ(boat->GetValueAt(nbwBoat::DraftAccel), -1.0f);

    // A stat is no value, names are exact, and the item's variables are no stats.
    log.text.clear();
    EXPECT_EQ(Eval("getvalue('energie')"), "0.0");
    EXPECT_TRUE(LogHas("/usr/logic/boat: getvalue: no value 'energie'"));
    EXPECT_EQ(Eval("getstat('Maxload')"), "0.0");
    EXPECT_TRUE(LogHas("/usr/logic/boat: getstat: no stat 'Maxload'"));
    ASSERT_TRUE(Run("setstat('hitpoints', 0) setvalue('', 3) setstat('energie', 0.5)"));
    EXPECT_TRUE(LogHas("/usr/logic/boat: setstat: no stat 'hitpoints'"));
    EXPECT_TRUE(LogHas("/usr/logic/boat: setvalue: no value ''"));
    EXPECT_EQ(Eval("getfloat('hitpoints')"), "1.0");
    // The boat's "energie" stat and the item's "energie" variable are two numbers.
    EXPECT_EQ(Eval("getstat('energie')"), "0.5");
    EXPECT_EQ(Eval("getfloat('energie')"), "1.0");
}

TEST_F(BoatTest, MovesPushLikeTheSameForceOnARawOdeBody) {
    Hull();
    ASSERT_TRUE(Run("txyz(1, 2, 3) rxyz(0, 0.4, 0)"));
    // A frame without time places the body where the boat stands.
    GameFrame(0.0f);
    dMass mass;
    dBodyGetMass(Id(boat), &mass);
    const dReal* pos = dBodyGetPosition(Id(boat));
    const dReal* rot = dBodyGetRotation(Id(boat));

    dWorldID world = dWorldCreate();
    dBodyID raw = dBodyCreate(world);
    dBodySetMass(raw, &mass);
    dBodySetPosition(raw, pos[0], pos[1], pos[2]);
    dBodySetRotation(raw, rot);
    dBodySetGravityMode(raw, 0);
    dBodyAddRelForceAtRelPos(raw, 0, 0, -20, 0, 0, -1);
    dBodyAddRelForceAtRelPos(raw, -10, 0, 0, 0, 0, -1);
    dWorldStep(world, kDt);
    const dReal* lin = dBodyGetLinearVel(raw);
    const dReal* ang = dBodyGetAngularVel(raw);
    const vector3 wantLinear{float(lin[0]), float(lin[1]), float(lin[2])};
    const vector3 wantAngular{float(ang[0]), float(ang[1]), float(ang[2])};
    dWorldDestroy(world);

    // The float is not used, and names that are no moves do nothing.
    ASSERT_TRUE(Run("playmove('forward', 123.5) playmove('left', -7) playmove('Forward', 1) playmove('up', 1)"));
    EXPECT_TRUE(LogHas("/usr/logic/boat: playmove: no move 'Forward'"));
    EXPECT_TRUE(LogHas("/usr/logic/boat: playmove: no move 'up'"));
    GameFrame(kDt);
    ASSERT_GT(wantLinear.Len(), 0.01f);
    ASSERT_GT(wantAngular.Len(), 0.001f);
    ExpectNear(Body(boat)->GetLinearVel(), wantLinear, 1e-6f, "linear");
    ExpectNear(Body(boat)->GetAngularVel(), wantAngular, 1e-6f, "angular");
}

TEST_F(BoatTest, ALevelBoatStaysAsItIsAndARolledOneRightsItself) {
    // Level, however it is headed: nothing to right.
    matrix44 m;
    ExpectNear(nbwBoat::StabiliserForce(m), vector3(), 0.0f, "unturned");
    m.RotateY(2.5f);
    ExpectNear(nbwBoat::StabiliserForce(m), vector3(), 1e-6f, "headed");
    Hull();
    ASSERT_TRUE(Run("rxyz(0, 1, 0)"));
    for (int i = 0; i < 20; i++) GameFrame(kDt);
    ExpectNear(Body(boat)->GetAngularVel(), vector3(), 1e-5f, "level");

    // Rolled by 30 degrees about its long axis, it swings back through level (there is
    // no damping but the velocity limits).
    nbwBoat* rolled = NewBoat("/usr/logic/rolled");
    Hull();
    ASSERT_TRUE(Run("rxyz(0, 0, 0.5235988)"));
    GameFrame(0.0f);
    float previous = std::fabs(Roll(rolled));
    EXPECT_NEAR(previous, 30.0f, 0.01f);
    float nearest = previous;
    for (int i = 0; i < 100; i++) {
        GameFrame(0.02f);
        const float roll = std::fabs(Roll(rolled));
        if (i < 50) {
            EXPECT_LT(roll, previous) << i;
        }
        previous = roll;
        nearest = std::min(nearest, roll);
    }
    EXPECT_LT(nearest, 1.0f);
    // Righting turns it about its long axis only.
    const vector3 w = Body(rolled)->GetAngularVel();
    EXPECT_LT(std::fabs(w.x) + std::fabs(w.y), 1e-3f);
}

TEST_F(BoatTest, TheBodyNeverRestsEvenInFramesWithoutTime) {
    Hull(true);
    ASSERT_TRUE(Run("new('nlogicphysik2', '/usr/logic/crate') sel('/usr/logic/crate') new('nmodphysik', 'm')"
                    " sel('m') setbox(1, 1, 1) sel('..') addphysik('physik', 'm') setphysik(false)"
                    " sel('/usr/logic/boat') setphysik(false)"));
    GameFrame(0.0f);
    EXPECT_EQ(Eval("getphysik()"), "1");
    EXPECT_EQ(Eval("obj('/usr/logic/crate').getphysik()"), "nil");
    GameFrame(kDt);
    EXPECT_LT(Body(boat)->GetLinearVel().y, -0.4f);
}

TEST_F(BoatTest, WithoutABodyInTheStepMovesAndTheStabiliserAreSkippedLoggedOnce) {
    ASSERT_TRUE(Run("rxyz(0, 0, 0.5) playmove('forward', 0)"));
    EXPECT_TRUE(LogHas("/usr/logic/boat: no physics body to move: moves and the stabiliser are skipped (logged once)"));
    GameFrame(kDt);
    ASSERT_TRUE(Run("playmove('left', 0)"));
    GameFrame(kDt);
    EXPECT_EQ(Count(log.text, "no physics body to move"), 1);
    // Nothing waits in the body to act once it has a mass.
    ExpectNear(Body(boat)->GetForce(), vector3(), 0.0f, "force");
    ExpectNear(Body(boat)->GetTorque(), vector3(), 0.0f, "torque");

    // With a hull it moves; with its physics state switched off it does not.
    Hull();
    ASSERT_TRUE(Run("playmove('forward', 0)"));
    EXPECT_GT(Body(boat)->GetForce().Len(), 1.0f);
    Body(boat)->SetForce(vector3());
    ASSERT_TRUE(Run("sethandleractive('physik', 'physik', false) playmove('forward', 0)"));
    ExpectNear(Body(boat)->GetForce(), vector3(), 0.0f, "switched off");
    EXPECT_EQ(Count(log.text, "no physics body to move"), 1);
}

TEST_F(BoatTest, SavesThePhysicsLinesThenValuesAndStatsAndLoadsThemBack) {
    ASSERT_TRUE(Run("setfloat('weight', 300) setstring('type', 'boot')"));
    ASSERT_TRUE(boat->SaveAs(Path("boat").c_str()));
    const std::string golden = SourceDir() + "/tests/game/golden/boat_new.n";
    EXPECT_EQ(Slurp(Path("boat.n")), Slurp(golden));

    ASSERT_TRUE(Run("setvalue('rotation_accel', 4.5) setstat('maxload', 120) setstat('energielose', 0.25)"));
    ASSERT_TRUE(boat->SaveAs(Path("changed").c_str()));
    kernel->SetCwd(Lookup("/usr/logic"));
    auto* back = static_cast<nbwBoat*>(kernel->Load(Path("changed.n").c_str()));
    ASSERT_NE(back, nullptr) << log.text;
    ASSERT_NE(back, boat);
    for (int i = 0; i < nbwBoat::NumStats; i++) EXPECT_EQ(back->GetStatAt(i), boat->GetStatAt(i)) << i;
    for (int i = 0; i < nbwBoat::NumValues; i++) EXPECT_EQ(back->GetValueAt(i), boat->GetValueAt(i)) << i;
    // The item's variables are the store's business, not the object script's.
    EXPECT_EQ(back->GetFloat(nbwItem::Weight), 0.0f);
    EXPECT_STREQ(back->GetString(nbwItem::Type), "none");
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

}  // namespace
