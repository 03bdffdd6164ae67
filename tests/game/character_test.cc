// Land characters: their tables by name, standing still, the walking, running and jumping
// forces, turning and looking, landing on the floor against a wall, the node keeping its
// rotation, the hand and target paths, the render variables and pushing a boat.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "game/nbwAction.h"
#include "game/nbwBoat.h"
#include "game/nbwItem.h"
#include "tests/game/CharacterFixture.h"
#include "tests/logic/CommandTable.h"
#include "tests/logic/nRecordingVisualizer.h"

namespace {

constexpr float kDt = 0.05f;

class CharacterTest : public CharacterFixture {
protected:
    std::string HeroEval(const std::string& expr) { return Eval("obj('/usr/logic/hero')." + expr); }
    bool OnHero(const std::string& text) { return Run("sel('/usr/logic/hero') " + text); }
    // Stands the hero on the floor: a frame places the body, then it is on the ground.
    void Stand() {
        ASSERT_TRUE(OnHero("setgravity(false) setflag('flying', false)"));
        GameFrame(0.0f);
        SetFrameTime(kDt);
    }
    static std::string Str(const vector3& v) {
        return std::to_string(v.x) + " " + std::to_string(v.y) + " " + std::to_string(v.z);
    }
};

TEST_F(CharacterTest, TablesByNameWithTheActorsCommandsOnly) {
    EXPECT_TRUE(OwnCommands(kernel, "nbwcharacter", {}).empty());
    EXPECT_EQ(hero->GetStat(nbwCharacter::BaseSkill), 0.9f);
    EXPECT_EQ(hero->GetStat(nbwCharacter::EnergieLose), 0.001f);
    EXPECT_EQ(HeroEval("getstat('maxload')"), "40.0");
    EXPECT_EQ(HeroEval("getflag('human')"), "1");
    EXPECT_EQ(HeroEval("getflag('chemicresist')"), "nil");
    EXPECT_EQ(HeroEval("getflag('flying')"), "1");

    // Every name reaches its own index, blanks included; the countdown has no name.
    auto count = [](const char* const* t) {
        int n = 0;
        while (t[n]) n++;
        return n;
    };
    EXPECT_EQ(count(hero->GetStatNames()), 19);
    EXPECT_EQ(count(hero->GetFlagNames()), 11);
    EXPECT_EQ(count(hero->GetPathNames()), 3);
    EXPECT_EQ(count(hero->GetMoveNames()), 10);
    ASSERT_TRUE(OnHero("setstat('zoomscale', 2.5) setstat('moskitoschutz', 0.25) setflag('freeze', true)"
                       " setpath('inventory', '/usr/logic/floor')"));
    EXPECT_EQ(hero->GetStat(nbwCharacter::ZoomScale), 2.5f);
    EXPECT_EQ(hero->GetStat(nbwCharacter::MoskitoSchutz), 0.25f);
    EXPECT_TRUE(hero->GetFlag(nbwCharacter::Freeze));
    EXPECT_EQ(HeroEval("getpath('inventory')"), "/usr/logic/floor");
    SetFrameTime(0.5f);
    ASSERT_TRUE(OnHero("playmove('look up', '', 1) playmove('look right', '', 1)"));
    EXPECT_FLOAT_EQ(hero->GetStat(nbwCharacter::Pitch), 0.8f);
    EXPECT_FLOAT_EQ(hero->GetStat(nbwCharacter::Heading), 1.6f);
    // Setting a stat raises nothing and is not clamped; indices outside the tables are
    // logged.
    log.text.clear();
    ASSERT_TRUE(OnHero("setstat('lifepoints', -3) setstat('pitch ', 1)"));
    EXPECT_EQ(hero->GetStat(nbwCharacter::LifePoints), -3.0f);
    EXPECT_TRUE(LogHas("no name 'pitch '"));
    hero->SetStat(20, 1.0f);
    hero->SetFlag(-1, true);
    hero->PlayMove(10, "walk", 1.0f);
    EXPECT_EQ(hero->GetStat(20), 0.0f);
    EXPECT_TRUE(LogHas("/usr/logic/hero: setstat: index 20 outside 0 to 19"));
    EXPECT_TRUE(LogHas("/usr/logic/hero: setflag: index -1 outside 0 to 10"));
    EXPECT_TRUE(LogHas("/usr/logic/hero: playmove: index 10 outside 0 to 9"));
}

TEST_F(CharacterTest, WalkingPushesWithABoostFromStandstillAndRunningAndJumpingAsGiven) {
    Stand();
    nPhysikBody* body = Body(hero);
    struct Case {
        float value, speed, boost;
    };
    // The record's value follows the body's speed by at most 0.1 a move.
    for (const Case& c : {Case{0.0f, 0.0f, 5.8f}, Case{0.0f, 5.0f, 5.0f}, Case{0.3f, 0.3f, 3.4f},
                          Case{0.6f, 0.65f, 1.0f}, Case{0.9f, 0.0f, 1.0f}}) {
        hero->GetRecord(nbwCharacter::RecForward).value = c.value;
        body->SetLinearVel(vector3(c.speed, 0.0f, 0.0f));
        body->SetForce(vector3());
        hero->PlayMove(nbwCharacter::Forward, "walk", 1.0f);
        EXPECT_TRUE(Near(body->GetForce(), vector3(0.0f, 0.0f, -20.0f * c.boost), 1e-4f))
            << c.value << " " << c.speed << ": " << Str(body->GetForce());
    }
    // Along the node's horizontal forward direction whichever way it faces.
    // Tilted, the push stays horizontal and shrinks with the tilt (it is not rescaled).
    ASSERT_TRUE(OnHero("rxyz(0.3, 1.5707964, 0)"));
    hero->GetRecord(nbwCharacter::RecForward).value = 0.9f;
    body->SetLinearVel(vector3(1.0f, 0.0f, 0.0f));
    body->SetForce(vector3());
    hero->PlayMove(nbwCharacter::Forward, "walk", 1.0f);
    const matrix44 tilted = hero->GetMatrix();
    const vector3 ahead = -vector3(tilted.m[2][0], 0.0f, tilted.m[2][2]);
    EXPECT_EQ(body->GetForce().y, 0.0f);
    EXPECT_NEAR(body->GetForce().Len(), 20.0f * std::cos(0.3f), 1e-3f) << Str(body->GetForce());
    EXPECT_GT(body->GetForce() % ahead, 0.0f);
    ASSERT_TRUE(OnHero("rxyz(0, 0, 0)"));

    // Backward: not while walking at full value.
    body->SetForce(vector3());
    hero->PlayMove(nbwCharacter::Backward, "walk", 1.0f);
    EXPECT_TRUE(Near(body->GetForce(), vector3(), 0.0f)) << Str(body->GetForce());
    hero->GetRecord(nbwCharacter::RecForward).value = 0.5f;
    hero->PlayMove(nbwCharacter::Backward, "walk", 1.0f);
    EXPECT_TRUE(Near(body->GetForce(), vector3(0.0f, 0.0f, 20.0f), 1e-5f)) << Str(body->GetForce());

    body->SetForce(vector3());
    body->SetTorque(vector3());
    hero->PlayMove(nbwCharacter::Run, "walk", 1.0f);
    EXPECT_TRUE(Near(body->GetForce(), vector3(0.0f, 0.0f, -40.0f), 1e-5f)) << Str(body->GetForce());
    // Pushed above its centre: it would tip forward.
    EXPECT_TRUE(Near(body->GetTorque(), vector3(-32.0f, 0.0f, 0.0f), 1e-4f)) << Str(body->GetTorque());

    body->SetForce(vector3());
    hero->PlayMove(nbwCharacter::Jump, "", 1.0f);
    EXPECT_TRUE(Near(body->GetForce(), vector3(0.0f, 75.0f, 0.0f), 1e-5f)) << Str(body->GetForce());
    EXPECT_FALSE(hero->GetFlag(nbwCharacter::Flying));
    GameFrame(kDt);
    EXPECT_TRUE(hero->GetFlag(nbwCharacter::Flying));

    // In the air only looking works.
    body->SetForce(vector3());
    body->SetTorque(vector3());
    const matrix44 before = hero->GetMatrix();
    for (int move : {nbwCharacter::Forward, nbwCharacter::Backward, nbwCharacter::Left, nbwCharacter::Right,
                     nbwCharacter::Run, nbwCharacter::Jump}) {
        hero->PlayMove(move, "walk", 1.0f);
    }
    hero->PlayMove(nbwCharacter::LookDown, "", 1.0f);
    EXPECT_TRUE(Near(body->GetForce(), vector3(), 0.0f)) << Str(body->GetForce());
    EXPECT_TRUE(Near(body->GetTorque(), vector3(), 0.0f));
    EXPECT_EQ(hero->GetMatrix(), before);
    EXPECT_FLOAT_EQ(hero->GetStat(nbwCharacter::Pitch), 1.0f + kDt * 0.4f);
}

TEST_F(CharacterTest, StandingStopsAtOnceFlyingKeepsItsSpeedAndAnActionStopsTheMoves) {
    Stand();
    nPhysikBody* body = Body(hero);
    body->SetLinearVel(vector3(3.0f, 1.0f, 0.0f));
    body->SetAngularVel(vector3(0.0f, 2.0f, 0.0f));
    GameFrame(kDt);
    EXPECT_TRUE(Near(body->GetLinearVel(), vector3(), 1e-6f)) << Str(body->GetLinearVel());
    EXPECT_TRUE(Near(body->GetAngularVel(), vector3(), 1e-6f));
    // The idle animation when nothing else plays.
    EXPECT_EQ(hero->GetCurrentAnim(), 0.0f);

    // Flying, the body keeps moving, showing "jump_start".
    ASSERT_TRUE(OnHero("setflag('flying', true)"));
    body->SetLinearVel(vector3(3.0f, 0.0f, 0.0f));
    const float x = hero->GetPosition().x;
    GameFrame(kDt);
    EXPECT_NEAR(body->GetLinearVel().x, 3.0f, 1e-4f);
    EXPECT_GT(hero->GetPosition().x, x + 0.1f);
    EXPECT_FLOAT_EQ(hero->GetAirTime(), kDt);

    // A queued action takes the moves: none pushes.
    ASSERT_TRUE(OnHero("setflag('flying', false)"));
    kernel->PushCwd(hero->GetActions());
    kernel->New("nbwaction", "wave");
    kernel->PopCwd();
    body->SetForce(vector3());
    hero->PlayMove(nbwCharacter::Forward, "walk", 1.0f);
    hero->PlayMove(nbwCharacter::Jump, "", 1.0f);
    EXPECT_TRUE(Near(body->GetForce(), vector3(), 0.0f));
}

TEST_F(CharacterTest, TurningAndLookingFarRightTurnTheNodeAboutItsOwnPlace) {
    Stand();
    ASSERT_TRUE(OnHero("txyz(1, 0.5, 2)"));
    SetFrameTime(0.25f);
    hero->PlayMove(nbwCharacter::Left, "turn", 0.7f);
    matrix44 m = hero->GetMatrix();
    EXPECT_TRUE(Near(m.Translation(), vector3(1.0f, 0.5f, 2.0f), 1e-6f));
    // Turned left (counter-clockwise seen from above): forward (-z) swings to -x.
    EXPECT_NEAR(m.m[2][0], std::sin(0.25f), 1e-6f);
    EXPECT_NEAR(m.m[2][2], std::cos(0.25f), 1e-6f);
    EXPECT_FLOAT_EQ(hero->GetRecord(nbwCharacter::RecLeft).value, 0.7f);

    // The head turns right by 1.2 a second; past 1.7 the body follows with a power that
    // reaches 1 at the end of the range.
    ASSERT_TRUE(OnHero("rxyz(0, 0, 0)"));
    SetFrameTime(0.125f);
    hero->PlayMove(nbwCharacter::LookRight, "turn", 1.0f);
    hero->PlayMove(nbwCharacter::LookRight, "turn", 1.0f);
    hero->PlayMove(nbwCharacter::LookRight, "turn", 1.0f);
    EXPECT_FLOAT_EQ(hero->GetStat(nbwCharacter::Heading), 1.45f);
    EXPECT_EQ(hero->GetMatrix().m[2][0], 0.0f);
    hero->PlayMove(nbwCharacter::LookRight, "turn", 1.0f);
    EXPECT_FLOAT_EQ(hero->GetStat(nbwCharacter::Heading), 1.6f);
    hero->PlayMove(nbwCharacter::LookRight, "turn", 1.0f);
    EXPECT_NEAR(hero->GetRecord(nbwCharacter::RecRight).value, (1.75f - 1.7f) / 0.3f, 1e-5f);
    EXPECT_NEAR(hero->GetMatrix().m[2][0], -std::sin(0.125f), 1e-6f);
    for (int i = 0; i < 4; i++) hero->PlayMove(nbwCharacter::LookRight, "turn", 1.0f);
    EXPECT_FLOAT_EQ(hero->GetStat(nbwCharacter::Heading), 2.0f);
    EXPECT_FLOAT_EQ(hero->GetRecord(nbwCharacter::RecRight).value, 1.0f);
    // Back to the left: the body follows below 0.3, the head stops at 0.
    for (int i = 0; i < 20; i++) hero->PlayMove(nbwCharacter::LookLeft, "turn", 1.0f);
    EXPECT_EQ(hero->GetStat(nbwCharacter::Heading), 0.0f);
    EXPECT_FLOAT_EQ(hero->GetRecord(nbwCharacter::RecLeft).value, 1.0f);
    // The moskito protection is left alone.
    EXPECT_EQ(hero->GetStat(nbwCharacter::MoskitoSchutz), 1.0f);
    EXPECT_GT(hero->GetLastLook(), -1.0f);
}

TEST_F(CharacterTest, LandingAfterAJumpQueuesTheLandingActionAShortHopDoesNot) {
    // Dropped from a little height onto the floor: the first touch is a landing.
    nbwCharacter* drop = NewCharacter("/usr/logic/drop", 2.0f);
    ASSERT_TRUE(Run("txyz(-3, 2, 0)"));
    ASSERT_TRUE(drop->GetFlag(nbwCharacter::Flying));
    int frames = 0;
    for (; frames < 60 && drop->GetFlag(nbwCharacter::Flying); frames++) GameFrame(kDt);
    ASSERT_FALSE(drop->GetFlag(nbwCharacter::Flying)) << log.text;
    EXPECT_GT(frames, 4);
    nRoot* action = drop->GetCurrentAction();
    ASSERT_NE(action, nullptr);
    EXPECT_STREQ(action->GetName(), "landing");
    auto* landing = static_cast<nbwAction*>(action);
    EXPECT_STREQ(landing->GetAnimation(), "jump_landing");
    EXPECT_FLOAT_EQ(landing->GetDuration(), 0.32f);
    EXPECT_FLOAT_EQ(landing->GetFadeIn(), 0.5f);
    EXPECT_FLOAT_EQ(landing->GetFadeOut(), 0.3f);
    EXPECT_EQ(drop->GetAirTime(), 0.0f);
    // It stands on the floor and the landing plays out.
    for (int i = 0; i < 20; i++) GameFrame(kDt);
    EXPECT_NEAR(drop->GetPosition().y, 0.5f, 0.1f);
    EXPECT_EQ(drop->GetCurrentAction(), nullptr);

    // A hop shorter than 0.2 s in the air touches the ground without landing.
    ASSERT_TRUE(Run("sel('/usr/logic/drop') setflag('flying', true)"));
    GameFrame(0.1f);
    GameFrame(0.05f);
    EXPECT_TRUE(drop->GetFlag(nbwCharacter::Flying));
    EXPECT_EQ(drop->GetCurrentAction(), nullptr);
}

TEST_F(CharacterTest, ATouchedBodyAtRestIsLoggedOnceAndPassedThrough) {
    ASSERT_TRUE(Run("new('nlogicphysik2', '/usr/logic/crate') sel('/usr/logic/crate') txyz(-6, 3, 0)"
                    " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setbox(2, 1, 2)"
                    " setdynamic(true) sel('..') addcollision('physik', 'shape') setcollcontext('physik', 'physik')"
                    " new('nmodphysik', 'mass') sel('mass') setbox(2, 1, 2) sel('..') addphysik('physik', 'mass')"
                    " setgravity(false) setphysik(false)"));
    nbwCharacter* drop = NewCharacter("/usr/logic/drop", 5.0f);
    ASSERT_TRUE(Run("txyz(-6, 5, 0)"));
    for (int i = 0; i < 60; i++) GameFrame(kDt);
    EXPECT_EQ(Count(log.text, "/usr/logic/drop: a contact with the body of '/usr/logic/crate' is skipped"), 1);
    EXPECT_FALSE(drop->GetFlag(nbwCharacter::Flying));
    EXPECT_NEAR(drop->GetPosition().y, 0.5f, 0.1f);
    // Nothing woke the crate or moved it.
    EXPECT_EQ(static_cast<nLogicPhysik2*>(Lookup("/usr/logic/crate"))->GetPosition().y, 3.0f);
}

TEST_F(CharacterTest, ContactsGetWallOrGroundFrictionAndTheNodeKeepsItsRotation) {
    EXPECT_EQ(nbwCharacter::ContactFriction(0.0f), 0.0f);
    EXPECT_EQ(nbwCharacter::ContactFriction(-0.5f), 0.0f);
    EXPECT_FLOAT_EQ(nbwCharacter::ContactFriction(0.5f), 0.5f * 1.7014118e38f);
    EXPECT_FLOAT_EQ(nbwCharacter::ContactFriction(0.6f), 0.6f * 1.7014118e38f);
    EXPECT_TRUE(std::isinf(nbwCharacter::ContactFriction(0.61f)));

    // Walking into the wall: the body turns and slides, the node keeps facing its way and
    // takes only the body's place; the wall stops it.
    Stand();
    ASSERT_TRUE(OnHero("setgravity(true) rxyz(0, 1.5707964, 0)"));
    const float mu = hero->GetPhysikState()->GetBody()->GetContactParam(nPhysikBody::MU);
    for (int i = 0; i < 60; i++) {
        hero->PlayMove(nbwCharacter::Forward, "walk", 1.0f);
        GameFrame(kDt);
    }
    const matrix44 m = hero->GetMatrix();
    EXPECT_NEAR(m.m[2][0], -1.0f, 1e-5f);
    EXPECT_NEAR(m.m[1][1], 1.0f, 1e-5f);
    EXPECT_GT(m.Translation().x, 2.0f);
    EXPECT_LT(m.Translation().x, 2.7f);
    EXPECT_EQ(m.Translation(), hero->GetLastPhysikMatrix().Translation());
    // The friction of a contact is lent to the joint only.
    EXPECT_EQ(hero->GetPhysikState()->GetBody()->GetContactParam(nPhysikBody::MU), mu);
}

TEST_F(CharacterTest, UnderAMovedParentTheNodeTakesTheBodysPlaceRelativeToIt) {
    ASSERT_TRUE(Run("new('nlogicvisual2', '/usr/logic/deck') sel('/usr/logic/deck') txyz(10, 0, 0)"));
    nbwCharacter* c = NewCharacter("/usr/logic/deck/sailor", 0.5f);
    ASSERT_TRUE(Run("setgravity(false) setflag('flying', false) rxyz(0, 0.5, 0)"));
    const float facing = c->GetMatrix().m[2][0];
    GameFrame(kDt);
    // Its body stands at the parent's place plus its own; the node stays relative.
    EXPECT_TRUE(Near(Body(c)->GetMatrix().Translation(), vector3(10.0f, 0.5f, 0.0f), 1e-5f))
        << Str(Body(c)->GetMatrix().Translation());
    GameFrame(kDt);
    EXPECT_TRUE(Near(c->GetPosition(), vector3(0.0f, 0.5f, 0.0f), 1e-5f)) << Str(c->GetPosition());
    EXPECT_NEAR(c->GetMatrix().m[2][0], facing, 1e-5f);
}

TEST_F(CharacterTest, EnergyDrainsTwiceInTheFrameAfterAMoveAndTheNearestItemIsAnnouncedOnChange) {
    Stand();
    ASSERT_TRUE(OnHero("setstat('energielose', 1) setstat('lifelose', 0.5)"));
    hero->PlayMove(nbwCharacter::Forward, "walk", 1.0f);
    GameFrame(0.125f);
    EXPECT_FLOAT_EQ(hero->GetStat(nbwCharacter::Energie), 1.0f - 0.125f);
    EXPECT_TRUE(hero->GetFlag(nbwCharacter::IsMoving));
    GameFrame(0.125f);
    EXPECT_FLOAT_EQ(hero->GetStat(nbwCharacter::Energie), 1.0f - 0.375f);
    EXPECT_FLOAT_EQ(hero->GetStat(nbwCharacter::LifePoints), 1.0f - 0.125f);
    EXPECT_FALSE(hero->GetFlag(nbwCharacter::IsMoving));

    // Two items in reach of the item zone, and a body that is no item nearer still.
    ASSERT_TRUE(Run("function near(c) nears = (nears or 0) + 1 end"));
    ASSERT_TRUE(OnHero("new('nmodsimplecollision', 'reach') sel('reach') setcollclass('ghost') setradius(3)"
                       " setdynamic(true) sel('..') addcollision('itemzone', 'reach') setcollcontext('itemzone', 'physik')"
                       " addeventfunction('onnearestitemchange', 'near')"));
    for (const char* item : {"far 2.5", "near 1.5"}) {
        const std::string name(item, std::string(item).find(' '));
        const std::string x(std::string(item).substr(name.size() + 1));
        ASSERT_TRUE(Run("new('nbwitem', '/usr/logic/" + name + "') sel('/usr/logic/" + name + "') txyz(" + x +
                        ", 0.5, -1) new('nmodsimplecollision', 's') sel('s') setcollclass('solid') setradius(0.25)"
                        " sel('..') addcollision('item', 's')"));
    }
    ASSERT_TRUE(Run("new('nlogiccollision2', '/usr/logic/post') sel('/usr/logic/post') txyz(0.5, 0.5, -0.5)"
                    " new('nmodsimplecollision', 's') sel('s') setcollclass('solid') setradius(0.25) sel('..')"
                    " addcollision('physik', 's') setcollcontext('physik', 'physik')"));
    for (int i = 0; i < 3; i++) GameFrame(kDt);
    EXPECT_EQ(HeroEval("getnearitem()"), "/usr/logic/near");
    EXPECT_EQ(Eval("nears"), "1");
    ASSERT_TRUE(Run("delete('/usr/logic/near')"));
    for (int i = 0; i < 3; i++) GameFrame(kDt);
    EXPECT_EQ(HeroEval("getnearitem()"), "/usr/logic/far");
    EXPECT_EQ(Eval("nears"), "2");
}

TEST_F(CharacterTest, WithoutAPhysicsModuleTheCharacterStaysWhereItIs) {
    auto* still = static_cast<nbwCharacter*>(kernel->New("nbwcharacter", "/usr/logic/still"));
    ASSERT_TRUE(Run("sel('/usr/logic/still') txyz(5, 7, 1)"));
    const matrix44 before = still->GetMatrix();
    EXPECT_FALSE(still->StepPhysik(before));
    for (int i = 0; i < 5; i++) GameFrame(kDt);
    EXPECT_EQ(still->GetMatrix(), before);
}

TEST_F(CharacterTest, HandAndTargetPathsTellTheItemsAndTheVisual) {
    auto* rec = static_cast<nRecordingVisualizer*>(kernel->New("nrecordingvisualizer", "/usr/modules/rec"));
    auto* torch = static_cast<nbwItem*>(kernel->New("nbwitem", "/usr/logic/torch"));
    auto* rope = static_cast<nbwItem*>(kernel->New("nbwitem", "/usr/logic/rope"));
    ASSERT_TRUE(Run("function changed(c, old, new) got = c .. '|' .. old .. '|' .. new end"));
    ASSERT_TRUE(OnHero("addvisualizer('default', '/usr/modules/rec') addeventfunction('onitemchanged', 'changed')"
                       " setstat('transparency', 0.5) setstat('heading', 1.25) setstat('pitch', 0.75)"
                       " setflag('headlight', true) setpath('hand', '/usr/logic/torch')"));
    GameFrame(kDt);
    EXPECT_EQ(Eval("got"), "/usr/logic/hero|none|/usr/logic/torch");
    EXPECT_EQ(rec->texts["right_hand"], "none");
    EXPECT_EQ(rec->floats["transparency"], 0.5f);
    EXPECT_EQ(rec->floats["heading"], 1.25f);
    EXPECT_EQ(rec->floats["pitch"], 0.75f);
    EXPECT_EQ(rec->floats["headlight"], 1.0f);

    // Shown, the hand follows into "right_hand"; a path naming no item changes nothing.
    ASSERT_TRUE(OnHero("setflag('showhand', true) setflag('headlight', false)"));
    GameFrame(kDt);
    EXPECT_EQ(rec->texts["right_hand"], "/usr/logic/torch");
    EXPECT_EQ(rec->floats["headlight"], 0.0f);
    ASSERT_TRUE(OnHero("setpath('hand', '/usr/logic/rope')"));
    GameFrame(kDt);
    EXPECT_EQ(Eval("got"), "/usr/logic/hero|/usr/logic/torch|/usr/logic/rope");
    EXPECT_EQ(rec->texts["right_hand"], "/usr/logic/rope");
    ASSERT_TRUE(OnHero("setpath('hand', '/usr/logic/floor')"));
    GameFrame(kDt);
    EXPECT_EQ(Eval("got"), "/usr/logic/hero|/usr/logic/torch|/usr/logic/rope");
    EXPECT_TRUE(LogHas("/usr/logic/hero: path 'hand' names '/usr/logic/floor', which is no nbwitem"));
    ASSERT_TRUE(OnHero("setflag('showhand', false)"));
    GameFrame(kDt);
    EXPECT_EQ(rec->texts["right_hand"], "none");

    // The target's owner follows the character.
    ASSERT_TRUE(OnHero("setpath('target', '/usr/logic/torch')"));
    EXPECT_STREQ(torch->GetString(nbwItem::Owner), "/usr/logic/hero");
    ASSERT_TRUE(OnHero("setpath('target', '/usr/logic/rope')"));
    EXPECT_STREQ(torch->GetString(nbwItem::Owner), "none");
    EXPECT_STREQ(rope->GetString(nbwItem::Owner), "/usr/logic/hero");
    ASSERT_TRUE(OnHero("setpath('target', 'none')"));
    EXPECT_STREQ(rope->GetString(nbwItem::Owner), "none");
}

TEST_F(CharacterTest, SittingInABoatTheWalkingMovesPushTheBoatByItsSpeed) {
    auto* boat = static_cast<nbwBoat*>(kernel->New("nbwboat", "/usr/logic/boat"));
    ASSERT_TRUE(Run("sel('/usr/logic/boat') txyz(0, 5, 0) new('nmodphysik', 'hull') sel('hull') setbox(2, 1, 4)"
                    " sel('..') addphysik('physik', 'hull') setgravity(false) setstat('speed', 3)"));
    Stand();
    hero->SetBoat(boat);
    nPhysikBody* hull = boat->GetPhysikState()->GetBody();
    struct Case {
        int move;
        vector3 force, torque;
    };
    // Pushed at one unit ahead of the hull's centre, in its own frame.
    for (const Case& c : {Case{nbwCharacter::Forward, {0, 0, -3}, {0, 0, 0}},
                          Case{nbwCharacter::Backward, {0, 0, 3}, {0, 0, 0}},
                          Case{nbwCharacter::Left, {-1.5f, 0, 0}, {0, 1.5f, 0}},
                          Case{nbwCharacter::Right, {1.5f, 0, 0}, {0, -1.5f, 0}}}) {
        hull->SetForce(vector3());
        hull->SetTorque(vector3());
        hero->PlayMove(c.move, "walk", 1.0f);
        EXPECT_TRUE(Near(hull->GetForce(), c.force, 1e-5f)) << c.move << ": " << Str(hull->GetForce());
        EXPECT_TRUE(Near(hull->GetTorque(), c.torque, 1e-5f)) << c.move << ": " << Str(hull->GetTorque());
    }
    hull->SetForce(vector3());
    hero->PlayMove(nbwCharacter::Run, "walk", 1.0f);
    hero->PlayMove(nbwCharacter::LookRight, "", 1.0f);
    EXPECT_TRUE(Near(hull->GetForce(), vector3(), 0.0f));
    // A boat that dies leaves nothing behind.
    boat->Release();
    EXPECT_EQ(hero->GetBoat(), nullptr);
    hero->PlayMove(nbwCharacter::Forward, "walk", 1.0f);
}

}  // namespace
