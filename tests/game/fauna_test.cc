// Fish, leopards and dolphins: the fish's zones through real contacts of the exact
// collide server (attack inside the box only, the bite and its message, fleeing until
// the cruise zone is left, world contacts), its steering step by step and over long
// runs, its debug lines; the leopard's walks and rests; the dolphin's two animations.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "game/nbwDiver.h"
#include "game/nbwDolpin.h"
#include "game/nbwFish.h"
#include "game/nbwLeopard.h"
#include "kernel/nObjectCount.h"
#include "kernel/nRandom.h"
#include "logic/nModAnimatorState.h"
#include "logic/nPersistLogic.h"
#include "tests/game/GameTestKernel.h"
#include "tests/logic/CommandTable.h"
#include "tests/game/GameZoneFixture.h"

namespace {

constexpr float kPi = 3.1415927f;

class FaunaTest : public GameZoneFixture {
protected:
    void SetUp() override {
        GameZoneFixture::SetUp();
        // Zones ("ghost") see bodies ("solid"); a fish's cruise zone ("reach") sees only
        // the water it may hunt in ("water").
        collide->BeginCollClasses();
        for (const char* name : {"solid", "ghost", "reach", "water"}) collide->AddCollClass(name);
        collide->EndCollClasses();
        collide->BeginCollTypes();
        collide->AddCollType("solid", "solid", COLLTYPE_EXACT);
        collide->AddCollType("ghost", "solid", COLLTYPE_QUICK);
        collide->AddCollType("reach", "water", COLLTYPE_QUICK);
        collide->EndCollTypes();
        kernel->AddClass(nTestActor::classInfo);
        nRandom::Seed(11);
        ASSERT_TRUE(Run(R"lua(
            FB_FISHATTACK = 4711
            shown = ''
            function displaymessage(id, time, kind) shown = shown .. id .. ' ' .. time .. ' ' .. kind .. ';' end
            function sphere(name, cls, radius, state)
                new('nmodsimplecollision', name) sel(name) setradius(radius) setcollclass(cls)
                setdynamic(true) sel('..') addcollision(state, name)
            end
            function fish(path)
                new('nbwfish', path) sel(path)
                sphere('a', 'ghost', 6, 'attack') sphere('f', 'ghost', 1.5, 'flee') sphere('c', 'reach', 1, 'cruise')
            end
            function body(cls, path, x)
                new(cls, path) sel(path) txyz(x, 0, 0)
                sphere('s', 'solid', 0.5, 'body') setcollcontext('body', 'damage')
            end
        )lua"));
    }
    nbwFish* Fish(const char* path = "/usr/logic/fish") {
        EXPECT_TRUE(Run(std::string("fish('") + path + "')"));
        auto* f = static_cast<nbwFish*>(Lookup(path));
        // No random turn during a test unless it asks for one.
        f->SetCruiseTimer(1e9f);
        return f;
    }
    nbwFish* LooseFish() {
        auto* f = static_cast<nbwFish*>(kernel->New("nbwfish", "/usr/loose"));
        f->SetCruiseTimer(1e9f);
        return f;
    }
    // Water around the origin that the fish's cruise zone meets.
    void Water(float radius = 100.0f) {
        ASSERT_TRUE(Run("new('nlogiccollision2', '/usr/logic/water') sel('/usr/logic/water') sphere('w', 'water', " +
                        std::to_string(radius) + ", 'sea') setcollcontext('sea', 'damage')"));
    }
    void Place(const char* path, float x, float y, float z) {
        static_cast<nLogicVisual2*>(Lookup(path))->SetPosition(vector3(x, y, z));
    }
    // Moves the node and runs two frames: a quick check sees a jump only once the spheres
    // start a frame together (or cross within it).
    void Move(const char* path, float x, float y, float z) {
        Place(path, x, y, z);
        Frame(0.02f);
        Frame(0.02f);
    }
    static void ExpectNear(const vector3& got, const vector3& want, float tol, const char* what) {
        EXPECT_TRUE(got.isequal(want, tol)) << what << ": " << got.x << " " << got.y << " " << got.z << " want "
                                            << want.x << " " << want.y << " " << want.z;
    }
    static quaternion Heading(float angle) { return nLogicVisual2::EulerQuaternion(0.0f, angle, 0.0f); }
    static void ExpectHeading(const quaternion& q, float angle) {
        const quaternion w = Heading(angle);
        // q and -q are the same turn.
        const float dot = q.x * w.x + q.y * w.y + q.z * w.z + q.w * w.w;
        EXPECT_NEAR(std::fabs(dot), 1.0f, 1e-5f) << "heading " << angle;
    }
};

// -- the fish's zones -------------------------------------------------------------------

TEST_F(FaunaTest, AHumanInTheBoxIsAttackedBittenOnceWithTheMessageAndTheFishFleesUntilItLeavesTheWater) {
    const CommandTable kCmds = {{"v_setaabb_fff", "LFSB"}, {"v_setdbgmode_b", "LFSS"}};
    EXPECT_EQ(OwnCommands(kernel, "nbwfish", kCmds), kCmds);
    nbwFish* fish = Fish();
    EXPECT_EQ(Eval("getcollcontext('attack') .. getcollcontext('flee') .. getcollcontext('cruise')"),
              "damagedamagedamage");
    EXPECT_EQ(Eval("getcollcontext('picking')"), "physik");
    Water();
    ASSERT_TRUE(Run("body('nbwdiver', '/usr/logic/diver', 4) setflag('human', true)"));
    auto* diver = static_cast<nbwDiver*>(Lookup("/usr/logic/diver"));
    Frame(0.02f);
    EXPECT_EQ(fish->GetState(), nbwFish::Attack);
    EXPECT_EQ(fish->GetTarget(), diver);
    // Aimed from the fish's zone to the diver's body.
    EXPECT_GT(fish->GetTargetDir().x, 3.0f);

    // The diver reaches the flee zone: one bite, then the fish flees.
    const vector3 at = fish->GetPosition();
    EXPECT_EQ(diver->GetAttackTimer(), nbwDiver::TimerLimit);
    Move("/usr/logic/diver", at.x + 1.0f, at.y, at.z);
    EXPECT_EQ(diver->GetAttackTimer(), 0.0f);
    EXPECT_EQ(Eval("shown"), "4711 3.0 3;");
    EXPECT_EQ(fish->GetState(), nbwFish::Flee);
    EXPECT_EQ(fish->GetTarget(), nullptr);
    // Still in the attack zone and the flee zone while in the water: no new attack, no
    // second bite.
    for (float x : {1.0f, 4.0f}) {
        Move("/usr/logic/diver", fish->GetPosition().x + x, 0.0f, fish->GetPosition().z);
        EXPECT_EQ(fish->GetState(), nbwFish::Flee) << x;
    }
    EXPECT_EQ(Eval("shown"), "4711 3.0 3;");
    EXPECT_GT(diver->GetAttackTimer(), 0.0f);
    // Out of the water the flight ends, and the diver still in the attack zone is
    // attacked again in the same frame.
    Move("/usr/logic/water", 500.0f, 0.0f, 0.0f);
    EXPECT_EQ(fish->GetState(), nbwFish::Attack);
    Move("/usr/logic/diver", 0.0f, 40.0f, 0.0f);
    EXPECT_EQ(fish->GetState(), nbwFish::Cruise);
    EXPECT_FALSE(LogHas("rror")) << log.text;
}

TEST_F(FaunaTest, OnlyTargetsInsideTheBoxAreAttackedAndOnlyHumanActorsAreBitten) {
    nbwFish* fish = Fish();
    ASSERT_TRUE(Run("sel('/usr/logic/fish') setaabb(3, 5, 3)"));
    EXPECT_EQ(fish->GetBox(), vector3(3, 5, 3));
    Water();
    // In the attack zone, outside the box.
    ASSERT_TRUE(Run("body('nbwdiver', '/usr/logic/diver', 4) setflag('human', true)"));
    Frame(0.02f);
    EXPECT_EQ(fish->GetState(), nbwFish::Cruise);
    EXPECT_EQ(fish->GetTarget(), nullptr);
    Move("/usr/logic/diver", 0.0f, 40.0f, 0.0f);

    // A diver that is no human (led by the computer), another actor and a plain node are
    // attacked, then bitten without hit or message, and the fish flees all the same.
    // Each sent away in its own direction, so that no later move sweeps through another.
    const vector3 away[] = {{0.0f, 0.0f, 60.0f}, {0.0f, 0.0f, -60.0f}, {-60.0f, 0.0f, 0.0f}};
    int sent = 0;
    ASSERT_TRUE(Run("body('nbwdiver', '/usr/logic/nbwdiver', 80) setflag('human', false)"));
    for (const char* cls : {"nbwdiver", "ntestactor", "nlogiccollision2"}) {
        const std::string path = std::string("/usr/logic/") + cls;
        if (!Lookup(path.c_str())) {
            ASSERT_TRUE(Run("body('" + std::string(cls) + "', '" + path + "', 80)"));
        }
        Move(path.c_str(), 2.5f, 0.0f, 0.0f);
        EXPECT_EQ(fish->GetState(), nbwFish::Attack) << cls;
        Move(path.c_str(), fish->GetPosition().x + 1.0f, 0.0f, fish->GetPosition().z);
        EXPECT_EQ(fish->GetState(), nbwFish::Flee) << cls;
        EXPECT_EQ(Eval("shown"), "") << cls;
        // Away, and the water left once so the flight ends.
        Place(path.c_str(), away[sent].x, away[sent].y, away[sent].z);
        sent++;
        Move("/usr/logic/water", 500.0f, 0.0f, 0.0f);
        EXPECT_EQ(fish->GetState(), nbwFish::Cruise) << cls;
        Move("/usr/logic/water", 0.0f, 0.0f, 0.0f);
        EXPECT_EQ(fish->GetState(), nbwFish::Cruise) << cls;
    }

    // A fish without a cruise zone module is never kept fleeing.
    ASSERT_TRUE(Run("sel('/usr/logic/fish') removecollision('cruise', 'c')"));
    Move("/usr/logic/ntestactor", fish->GetPosition().x + 1.0f, 0.0f, fish->GetPosition().z);
    EXPECT_EQ(fish->GetState(), nbwFish::Flee);
    Move("/usr/logic/ntestactor", 200.0f, 0.0f, 0.0f);
    EXPECT_EQ(fish->GetState(), nbwFish::Cruise);
    EXPECT_FALSE(LogHas("rror")) << log.text;
}

TEST_F(FaunaTest, TheTargetDiesWithItsObjectAndBadBoxesAreRefused) {
    nbwFish* fish = Fish();
    Water();
    ASSERT_TRUE(Run("body('nbwdiver', '/usr/logic/diver', 4)"));
    Frame(0.02f);
    ASSERT_EQ(fish->GetTarget(), Lookup("/usr/logic/diver"));
    Lookup("/usr/logic/diver")->Release();
    EXPECT_EQ(fish->GetTarget(), nullptr);
    Frame(0.02f);
    EXPECT_EQ(fish->GetState(), nbwFish::Attack);  // kept until the cruise zone says otherwise

    // A box of no size would divide by 0 in every step.
    ASSERT_TRUE(Run("sel('/usr/logic/fish') setaabb(0, 5, 5) setaabb(4, -1, 4)"));
    EXPECT_EQ(fish->GetBox(), vector3(25, 5, 25));
    EXPECT_TRUE(LogHas("/usr/logic/fish: v_setaabb_fff: half-extents must be above 0")) << log.text;
}

TEST_F(FaunaTest, AWorldContactTakesTheSteeringTowardsTheWallAwayAndPushesBackOnce) {
    nbwFish* fish = Fish();
    ASSERT_TRUE(Run("sel('/usr/logic/fish') new('nmodexactcollision', 'skin') sel('skin') setcollclass('solid')"
                    " setsphere(0.5) setdynamic(true) sel('..') addcollision('picking', 'skin')"
                    " new('nlogiccollision2', '/usr/logic/rock') sel('/usr/logic/rock') txyz(50, 0, 0)"
                    " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setsphere(0.5)"
                    " sel('..') addcollision('physik', 'shape') setcollcontext('physik', 'physik')"));
    fish->SetVelocity(vector3(1.0f, 0.4f, 0.0f));
    Frame(0.02f);
    EXPECT_GT(fish->GetSteering().x, 0.0f);
    EXPECT_EQ(fish->GetAvoidance(), vector3());

    // The rock right of the fish and a little below it.
    Place("/usr/logic/rock", fish->GetPosition().x + 0.9f, fish->GetPosition().y - 0.2f, fish->GetPosition().z);
    fish->SetVelocity(vector3(1.0f, -0.4f, 0.0f));
    Frame(0.02f);
    const vector3 away = fish->GetAvoidance();
    EXPECT_LT(away.x, 0.0f);
    EXPECT_GT(away.y, 0.0f);
    EXPECT_EQ(fish->GetSteering().x, 0.0f);
    EXPECT_NEAR(fish->GetSteering().Len(), 1.0f, 1e-5f);
    EXPECT_EQ(fish->GetVelocity().y, 0.0f);

    Place("/usr/logic/rock", 50.0f, 0.0f, 0.0f);
    Frame(0.02f);
    // Used up by this frame's step, which it turned away from the rock.
    EXPECT_EQ(fish->GetAvoidance(), vector3());
    EXPECT_LT(fish->GetSteering().x, 0.0f);
}

// -- steering -------------------------------------------------------------------------

TEST_F(FaunaTest, AtTheBoxEdgeTheFishTurnsTheWayThatBringsItBack) {
    nbwFish* fish = LooseFish();
    const float c = std::cos(1.5f), s = std::sin(1.5f);

    // Beyond 0.75 in x, heading out: the left turn (+1.5) brings it in.
    fish->SetPosition(vector3(20.0f, 0.0f, 0.0f));
    fish->SetVelocity(vector3(1.0f, 0.0f, 0.0f));
    fish->Steer(0.1f);
    EXPECT_EQ(fish->GetTurnSide(), 1);
    ExpectNear(fish->GetSteering(), vector3(c, 0.0f, -s), 1e-5f, "steering");
    ExpectNear(fish->GetVelocity(), vector3(1.0f + 0.1f * c, 0.0f, -0.1f * s), 1e-5f, "velocity");
    ExpectNear(fish->GetPosition(), vector3(20.0f + 0.1f * (1.0f + 0.1f * c), 0.0f, -0.01f * s), 1e-5f, "place");
    ExpectHeading(fish->GetQuaternion(), kPi - std::atan2(1.0f + 0.1f * c, -0.1f * s));
    // Once chosen, the side holds while the fish is in the band.
    fish->SetVelocity(vector3(0.0f, 0.0f, 1.0f));
    fish->Steer(0.1f);
    EXPECT_EQ(fish->GetTurnSide(), 1);
    ExpectNear(fish->GetSteering(), vector3(s, 0.0f, c), 1e-5f, "held side");

    // Swimming along the wall: the left turn would lead out, the right one leads in.
    fish->SetPosition(vector3(20.0f, 0.0f, 0.0f));
    fish->SetTurnSide(0);
    fish->SetVelocity(vector3(0.0f, 0.0f, 1.0f));
    fish->Steer(0.1f);
    EXPECT_EQ(fish->GetTurnSide(), -1);
    ExpectNear(fish->GetSteering(), vector3(-s, 0.0f, c), 1e-5f, "right turn");

    // Heading straight into the box along z, neither turn does better than going on: the
    // fish goes on, and the side is left at -1.
    fish->SetPosition(vector3(0.0f, 0.0f, 20.0f));
    fish->SetTurnSide(0);
    fish->SetVelocity(vector3(0.0f, 0.0f, -1.0f));
    fish->Steer(0.1f);
    EXPECT_EQ(fish->GetTurnSide(), -1);
    ExpectNear(fish->GetSteering(), vector3(0.0f, 0.0f, -1.0f), 1e-5f, "straight on");
    // The same along x leaves the side at 0.
    fish->SetPosition(vector3(20.0f, 0.0f, 0.0f));
    fish->SetTurnSide(0);
    fish->SetVelocity(vector3(-1.0f, 0.0f, 0.0f));
    fish->Steer(0.1f);
    EXPECT_EQ(fish->GetTurnSide(), 0);
    // Back inside the band the side is forgotten.
    fish->SetPosition(vector3(0.0f, 0.0f, 0.0f));
    fish->SetTurnSide(-1);
    fish->Steer(0.1f);
    EXPECT_EQ(fish->GetTurnSide(), 0);
}

TEST_F(FaunaTest, TheDepthBandPushesBackAndAttackAndFleeSteerByTheTarget) {
    nbwFish* fish = LooseFish();
    // 0.8 of the half-height up: pushed down; 0.8 down: pushed up; within: calmed.
    for (float y : {4.0f, -4.0f, 3.0f}) {
        fish->SetPosition(vector3(0.0f, y, 0.0f));
        fish->SetVelocity(vector3(1.0f, 0.0f, 0.0f));
        fish->Steer(0.1f);
        const float fy = fish->GetSteering().y;
        if (y > 3.5f) {
            EXPECT_LT(fy, -0.99f) << y;
        } else if (y < -3.5f) {
            EXPECT_GT(fy, 0.99f) << y;
        } else {
            EXPECT_EQ(fy, 0.0f) << y;
        }
    }

    // Attacking a target straight ahead: full force towards it, five times the maximum,
    // and 1.5 times the clamped speed.
    fish->SetPosition(vector3());
    fish->SetState(nbwFish::Attack);
    fish->SetTargetDir(vector3(0.0f, 0.0f, 3.0f));
    fish->SetVelocity(vector3(0.0f, 0.0f, 1.0f));
    fish->Steer(0.1f);
    ExpectNear(fish->GetSteering(), vector3(0.0f, 0.0f, 5.0f), 1e-5f, "attack");
    ExpectNear(fish->GetVelocity(), vector3(0.0f, 0.0f, 3.0f), 1e-5f, "attack speed");
    EXPECT_EQ(fish->GetTurnSide(), 0);
    // A target to the side turns the fish by half a radian towards it.
    fish->SetPosition(vector3());
    fish->SetTargetDir(vector3(3.0f, 0.0f, 0.0f));
    fish->SetVelocity(vector3(0.0f, 0.0f, 1.0f));
    fish->Steer(0.1f);
    // The box edge's rule forgets the side away from the edge.
    EXPECT_EQ(fish->GetTurnSide(), 0);
    ExpectNear(fish->GetSteering(), vector3(std::sin(0.5f), 0.0f, std::cos(0.5f)) * 5.0f, 1e-3f, "turn");
    EXPECT_NEAR(fish->GetVelocity().Len(), 3.0f, 1e-5f);
    EXPECT_GT(fish->GetVelocity().x, 0.0f);

    // Fleeing runs away from the target.
    fish->SetPosition(vector3());
    fish->SetState(nbwFish::Flee);
    fish->SetTargetDir(vector3(0.0f, 0.0f, 3.0f));
    fish->SetVelocity(vector3(0.0f, 0.0f, 1.0f));
    fish->Steer(0.1f);
    EXPECT_LT(fish->GetSteering().z, -4.9f);
    // Twice the speed less the push, within the band, then 1.5 times that.
    EXPECT_NEAR(fish->GetVelocity().z, (2.0f - 0.5f) * 1.5f, 1e-5f);
}

TEST_F(FaunaTest, ACruisingFishKeepsItsSpeedBandFacesItsMotionAndNeverLeavesItsBox) {
    nbwFish* fish = LooseFish();
    fish->SetCruiseTimer(0.0f);
    ASSERT_TRUE(Run("sel('/usr/loose') setaabb(6, 2, 4)"));
    // Standing still, it sets off at the least speed.
    fish->SetVelocity(vector3());
    fish->Steer(1.0f / 30.0f);
    EXPECT_NEAR(fish->GetVelocity().Len(), 0.5f, 1e-5f);
    float lastAngle = fish->GetCruiseAngle();
    int turns = 0;
    for (int frame = 0; frame < 10000; frame++) {
        fish->Steer(1.0f / 30.0f);
        const vector3 v = fish->GetVelocity(), p = fish->GetPosition();
        ASSERT_GE(v.Len(), 0.5f - 1e-4f) << frame;
        ASSERT_LE(v.Len(), 2.0f + 1e-4f) << frame;
        ASSERT_TRUE(std::fabs(p.x) <= 6.0f && std::fabs(p.y) <= 2.0f && std::fabs(p.z) <= 4.0f) << frame;
        ASSERT_GE(fish->GetCruiseAngle(), -0.5f);
        ASSERT_LE(fish->GetCruiseAngle(), 0.5f);
        if (fish->GetCruiseAngle() != lastAngle) turns++;
        lastAngle = fish->GetCruiseAngle();
        if (frame % 997 == 0) ExpectHeading(fish->GetQuaternion(), kPi - std::atan2(v.x, v.z));
    }
    // A new random turn every 2.5 s of the 333 s.
    EXPECT_GT(turns, 100);
}

// -- the leopard ----------------------------------------------------------------------

class LeopardTest : public FaunaTest {
protected:
    void SetUp() override {
        FaunaTest::SetUp();
        ASSERT_TRUE(Run("new('nbwleopard', '/usr/logic/cat') sel('/usr/logic/cat') begintargets(2)"
                        " settarget(1, 3, 0, 4) settarget(0, 1, 0, 0) setspeed(2)"));
        cat = static_cast<nbwLeopard*>(Lookup("/usr/logic/cat"));
    }
    // The generator's next number, without taking it.
    static int Peek() {
        const uint32_t state = nRandom::GetState();
        const int n = nRandom::Next();
        nRandom::Seed(state);
        return n;
    }
    // Draws until the next draw picks point `want` of two.
    static void NextPick(int want) {
        while (Peek() % 2 != want) nRandom::Next();
    }
    nbwLeopard* cat = nullptr;
};

TEST_F(LeopardTest, ItRestsHiddenWalksAtItsSpeedArrivesOnThePointAndRestsAgain) {
    const CommandTable kCmds = {{"v_setdbgmode_b", "LESD"},
                                {"v_begintargets_i", "LEBT"},
                                {"v_settarget_ifff", "LEST"},
                                {"v_setspeed_f", "LESS"}};
    EXPECT_EQ(OwnCommands(kernel, "nbwleopard", kCmds), kCmds);
    EXPECT_EQ(Eval("getcollcontext('picking')"), "physik");
    // Point 0 places it, hidden.
    EXPECT_EQ(cat->GetPosition(), vector3(1, 0, 0));
    EXPECT_FALSE(cat->GetVisible());
    EXPECT_EQ(cat->GetCurrentTarget(), -1);

    // The first rest ends at node time 0.
    NextPick(1);
    Frame(0.1f);
    ASSERT_EQ(cat->GetCurrentTarget(), 1);
    EXPECT_TRUE(cat->GetVisible());
    EXPECT_EQ(cat->GetPosition(), vector3(1, 0, 0));

    // Walking: 0.2 a frame towards (3, 0, 4), facing it.
    Frame(0.1f);
    const vector3 d = vector3(2, 0, 4) * (1.0f / std::sqrt(20.0f));
    ExpectNear(cat->GetPosition(), vector3(1, 0, 0) + d * 0.2f, 1e-5f, "step");
    ExpectHeading(cat->GetQuaternion(), std::atan2(2.0f, 4.0f));
    int frames = 1;
    while (cat->GetCurrentTarget() == 1 && frames < 100) {
        const int rest = Peek() % 10;
        const float now = cat->GetTime();
        Frame(0.1f);
        frames++;
        // The node time moves on before the node is served.
        if (cat->GetCurrentTarget() < 0) {
            EXPECT_FLOAT_EQ(cat->GetRestUntil(), now + 0.1f + float(rest));
        }
    }
    // sqrt(20) = 4.47 at 0.2 a frame: 23 steps, the last one short, then the arrival.
    EXPECT_EQ(frames, 24);
    EXPECT_EQ(cat->GetPosition(), vector3(3, 0, 4));
    EXPECT_FALSE(cat->GetVisible());
    EXPECT_GE(cat->GetRestUntil() - cat->GetTime(), -0.2f);
    EXPECT_LE(cat->GetRestUntil() - cat->GetTime(), 9.0f);

    // Speed and points come from the level's scripts, not from saves.
    ASSERT_TRUE(cat->SaveAs(Path("cat").c_str()));
    const std::string text = Slurp(Path("cat.n"));
    EXPECT_EQ(text.find("setspeed"), std::string::npos) << text;
    EXPECT_EQ(text.find("settarget"), std::string::npos) << text;
    EXPECT_EQ(text.find("begintargets"), std::string::npos) << text;
}

TEST_F(LeopardTest, WithoutSpeedItTurnsAndStandsAndBadPointsNeverReachTheWalk) {
    ASSERT_TRUE(Run("sel('/usr/logic/cat') setspeed(0)"));
    NextPick(1);
    Frame(0.1f);
    ASSERT_EQ(cat->GetCurrentTarget(), 1);
    for (int i = 0; i < 20; i++) Frame(0.1f);
    EXPECT_EQ(cat->GetPosition(), vector3(1, 0, 0));
    EXPECT_EQ(cat->GetCurrentTarget(), 1);
    ExpectHeading(cat->GetQuaternion(), std::atan2(2.0f, 4.0f));

    // Points out of range are logged and ignored; fewer points end a walk to one that went.
    ASSERT_TRUE(Run("sel('/usr/logic/cat') settarget(2, 9, 9, 9) settarget(-1, 9, 9, 9)"));
    EXPECT_TRUE(LogHas("/usr/logic/cat: v_settarget_ifff: no point 2 (the leopard has 2)")) << log.text;
    ASSERT_TRUE(Run("sel('/usr/logic/cat') begintargets(1)"));
    EXPECT_LT(cat->GetCurrentTarget(), 1);
    // A count past the bound is refused and keeps the path (300000000 took 3.6 GB).
    ASSERT_TRUE(Run("sel('/usr/logic/cat') begintargets(300000000)"));
    EXPECT_TRUE(LogHas("/usr/logic/cat: v_begintargets_i: 300000000 points is more than 65536")) << log.text;
    EXPECT_EQ(cat->GetTargetCount(), 1);
    // No points at all (or a negative count): it rests for good.
    ASSERT_TRUE(Run("sel('/usr/logic/cat') begintargets(-3)"));
    EXPECT_EQ(cat->GetTargetCount(), 0);
    EXPECT_EQ(cat->GetCurrentTarget(), -1);
    for (int i = 0; i < 200; i++) Frame(0.1f);
    EXPECT_EQ(cat->GetCurrentTarget(), -1);
}

// A path that data sizes counts against what data may keep: past it the path is kept.
TEST_F(LeopardTest, APathThatDataSizesIsChargedToData) {
    nObjectCount::SetLiveBytesBound(nObjectCount::DataLiveBytes() + (256 << 10));
    const char* result = nullptr;
    server->RunLine("obj('/usr/logic/cat').begintargets(65536)", result);
    nObjectCount::SetLiveBytesBound(nObjectCount::LiveBytes);
    EXPECT_TRUE(LogHas("/usr/logic/cat: v_begintargets_i refused")) << log.text;
    EXPECT_EQ(cat->GetTargetCount(), 2);
}

// -- the dolphin ----------------------------------------------------------------------

class DolpinTest : public FaunaTest {
protected:
    void SetUp() override {
        FaunaTest::SetUp();
        ASSERT_TRUE(Run("new('nbwdolpin', '/usr/logic/dolphin') sel('/usr/logic/dolphin')"));
        dolphin = static_cast<nbwDolpin*>(Lookup("/usr/logic/dolphin"));
        for (const char* state : {"cruse", "flee"}) {
            nTestModule* m = NewModule((std::string("/usr/modules/") + state).c_str(), nModule::Animator);
            dolphin->AddModule(1, state, m->GetFullName().c_str());
        }
    }
    nbwDolpin* dolphin = nullptr;
};

TEST_F(DolpinTest, CruseLoopsFleeRestartsWithoutBeingStoredAndAStoredFleePlaysIt) {
    const CommandTable kCmds = {{"v_flee_v", "FLEE"}};
    EXPECT_EQ(OwnCommands(kernel, "nbwdolpin", kCmds), kCmds);
    EXPECT_EQ(dolphin->GetNumVars(), nbwItem::NumVars + 1);
    EXPECT_STREQ(dolphin->GetVarName(nbwDolpin::FleeVar), "flee");

    ASSERT_TRUE(Run("sel('/usr/logic/dolphin') setanimatorlenght('cruse', 2)"));
    EXPECT_EQ(dolphin->GetCruseState()->GetLength(), 2.0f);
    for (int i = 0; i < 5; i++) Frame(0.5f);
    EXPECT_FLOAT_EQ(dolphin->GetCruseState()->GetTime(), 0.5f);
    EXPECT_EQ(Events("animate cruse").size(), 5u);
    EXPECT_TRUE(Events("animate flee").empty());

    // "v_flee_v" changes nothing; setting "flee" to 1 restarts its time and stores nothing.
    const std::string before = dolphin->GetVars();
    ASSERT_TRUE(Run("sel('/usr/logic/dolphin') flee()"));
    EXPECT_EQ(dolphin->GetVars(), before);
    dolphin->GetFleeState()->SetTime(3.0f);
    ASSERT_TRUE(Run("sel('/usr/logic/dolphin') setint('flee', 1)"));
    EXPECT_EQ(dolphin->GetFleeState()->GetTime(), 0.0f);
    EXPECT_EQ(Eval("getint('flee')"), "0");
    dolphin->GetFleeState()->SetTime(3.0f);
    ASSERT_TRUE(Run("sel('/usr/logic/dolphin') setint('flee', 2)"));
    EXPECT_EQ(dolphin->GetFleeState()->GetTime(), 3.0f);

    // A store holding "flee" 1 plays the flee branch while the cruse time has room.
    auto* store = static_cast<nPersistLogic*>(kernel->New("npersistlogic", "/usr/persist/dolphin"));
    store->SetI("flee", 1);
    dolphin->RestoreFromPersist(store);
    EXPECT_EQ(dolphin->GetInt(nbwDolpin::FleeVar), 1);
    dolphin->GetFleeState()->SetTime(0.0f);
    logicEvents.clear();
    Frame(0.5f);
    Frame(0.5f);
    EXPECT_FLOAT_EQ(dolphin->GetFleeState()->GetTime(), 1.0f);
    EXPECT_EQ(Events("animate flee").size(), 2u);
    EXPECT_FLOAT_EQ(dolphin->GetCruseState()->GetTime(), 0.5f);
    // Without room left in the cruse it cruises on and wraps, "flee" or not.
    dolphin->GetCruseState()->SetTime(1.8f);
    Frame(0.5f);
    EXPECT_EQ(Events("animate cruse").size(), 1u);
    EXPECT_NEAR(dolphin->GetCruseState()->GetTime(), 0.3f, 1e-5f);

    // Without a length the cruse stays at its start.
    ASSERT_TRUE(Run("sel('/usr/logic/dolphin') setint('flee', 0) setanimatorlenght('cruse', 0)"));
    store->SetI("flee", 0);
    dolphin->RestoreFromPersist(store);
    Frame(0.5f);
    EXPECT_EQ(dolphin->GetCruseState()->GetTime(), 0.0f);
}

}  // namespace
