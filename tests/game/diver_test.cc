// Divers: tables and saving, life and energy warnings, swimming moves on an ODE body in
// weightless water, drag, steering towards points, followers, the side effects of
// values, fish attacks, fades, render variables, and the nearest item and contacts on
// the exact collide server.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>

#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "game/nbwAction.h"
#include "game/nbwDiver.h"
#include "game/nbwDokuTool.h"
#include "game/nbwItem.h"
#include "kernel/nPersistServer.h"
#include "kernel/nString.h"
#include "logic/nLogicGraph.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikBody.h"
#include "physics/nPhysikServer.h"
#include "tests/game/GameTestKernel.h"
#include "tests/game/GameZoneFixture.h"
#include "tests/logic/CommandTable.h"
#include "tests/logic/nRecordingVisualizer.h"

namespace {

const CommandTable kDiverCmds = {
    {"v_addflock_s", "DAFL"}, {"v_addfollower_s", "DAFO"}, {"v_clearfollowers_v", "DCFL"},
    {"v_moveto_fff", "DMOT"}, {"v_fadeto_ff", "DFAT"},
};

// A diver with animations 0 to 2 and a unit box body (mass sum 6), and counters for its
// events.
const char* kDiverScript = R"lua(
    function diver(path, x, y, z)
        new('nbwdiver', path) sel(path) txyz(x, y, z)
        beginanims(3) setanimchn(0, 'idle', 0, false) setanimchn(1, 'swim', 0, false)
        setanimchn(2, 'back', 0, false)
        new('nmodphysik', 'mass') sel('mass') setbox(1, 1, 1) sel('..') addphysik('physik', 'mass')
    end
    calls = {}
    function count(name) return function(...) calls[name] = (calls[name] or 0) + 1; last = {...} end end
    ondeath = count('ondeath') onlowlife = count('onlowlife') onlowenergy = count('onlowenergy')
    onitem = count('onitem') onstop = count('onstop') onfish = count('onfish') onnear = count('onnear')
)lua";

class DiverTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        physik->SetGravity(vector3(0.0f, 0.0f, 0.0f));
        ASSERT_TRUE(Run(kDiverScript));
        d = NewDiver("/usr/logic/d", 0, 0, 0);
    }
    nbwDiver* NewDiver(const char* path, float x, float y, float z) {
        EXPECT_TRUE(Run("diver('" + std::string(path) + "', " + std::to_string(x) + ", " + std::to_string(y) + ", " +
                        std::to_string(z) + ")"));
        return static_cast<nbwDiver*>(Lookup(path));
    }
    nbwItem* NewItem(const char* path, const char* type = "none") {
        auto* item = static_cast<nbwItem*>(kernel->New("nbwitem", path));
        item->SetString(nbwItem::Type, type);
        return item;
    }
    bool On(const char* path, const std::string& text) { return Run(std::string("sel('") + path + "') " + text); }
    std::string EvalOn(const char* path, const std::string& expr) {
        return On(path, "__eval = " + expr) ? Global("__eval") : "<error>";
    }
    int Calls(const char* name) {
        const std::string n = Eval(std::string("calls['") + name + "'] or 0");
        return std::stoi(n);
    }
    nPhysikBody* Body(nbwDiver* diver) { return diver->GetPhysikState()->GetBody(); }

    nbwDiver* d = nullptr;
};

TEST_F(DiverTest, TablesDefaultsAndSavedLines) {
    EXPECT_EQ(OwnCommands(kernel, "nbwdiver", kDiverCmds), kDiverCmds);
    EXPECT_EQ(EvalOn("/usr/logic/d", "getstat('forwardaccel')"), "60.0");
    EXPECT_EQ(EvalOn("/usr/logic/d", "getstat('bankingaccel')"), "0.0");
    EXPECT_NEAR(std::stof(EvalOn("/usr/logic/d", "getstat('energielose')")), 0.001f, 1e-7f);
    EXPECT_TRUE(d->GetFlag(nbwDiver::Human));
    EXPECT_FALSE(d->GetFlag(nbwDiver::HeadLight));
    EXPECT_FALSE(d->GetFlag(nbwDiver::HeadCamera));
    EXPECT_EQ(EvalOn("/usr/logic/d", "getpath('leader')"), "none");
    ASSERT_TRUE(On("/usr/logic/d", "addflock('/usr/f') addflock('/usr/f') addflock('/usr/g') fadeto(0.5, 2)"));
    EXPECT_EQ(d->GetNumFlocks(), 2);

    nString text;
    ASSERT_TRUE(kernel->GetPersistServer()->CaptureCmds(d, text));
    const std::string lines = text.Get();
    EXPECT_NE(lines.find("setstat( \"bankingaccel\", 0.0"), std::string::npos) << lines;
    EXPECT_NE(lines.find("setpath( \"leader\", \"none\" )"), std::string::npos) << lines;
    for (const char* own : {"addflock", "addfollower", "clearfollowers", "moveto", "fadeto"}) {
        EXPECT_EQ(lines.find(own), std::string::npos) << own;
    }
    // Bad input is logged and changes nothing.
    ASSERT_TRUE(On("/usr/logic/d", "use('/usr/logic/d') setstat('nothing', 1)"));
    EXPECT_TRUE(LogHas("v_use: a plain actor uses nothing"));
    EXPECT_TRUE(LogHas("no name 'nothing'"));
}

TEST_F(DiverTest, LifeWarnsOnceThenDiesEveryFrameAndEnergyWarnsOnlyWhenBound) {
    ASSERT_TRUE(On("/usr/logic/d", "setstat('lifelose', 0.05) setstat('energielose', 0)"
                                   " addeventfunction('ondeath', 'ondeath') addeventfunction('onlowlife', 'onlowlife')"));
    int belowDeath = 0;
    bool warnedAt = false;
    for (int frame = 0; frame < 200; frame++) {
        GameFrame(0.1f);
        const float life = d->GetStat(nbwDiver::LifePoints);
        if (life < 0.3f && !warnedAt) {
            warnedAt = true;
            EXPECT_TRUE(d->GetFlag(nbwDiver::LowLife));
        }
        if (life < 0.1f) belowDeath++;
    }
    GameFrame(0.0f);
    EXPECT_EQ(Calls("ondeath"), belowDeath);
    EXPECT_GT(belowDeath, 15);
    EXPECT_EQ(Calls("onlowlife"), 1);
    EXPECT_EQ(Eval("last[1]"), "/usr/logic/d");
    // Restored life clears the warning.
    ASSERT_TRUE(On("/usr/logic/d", "setstat('lifelose', 0) setstat('lifepoints', 1)"));
    EXPECT_FALSE(d->GetFlag(nbwDiver::LowLife));

    ASSERT_TRUE(On("/usr/logic/d", "setstat('energie', 0.06) setstat('energielose', 0.5)"));
    for (int i = 0; i < 3; i++) GameFrame(0.1f);
    EXPECT_LT(d->GetStat(nbwDiver::Energie), 0.05f);
    EXPECT_FALSE(d->GetFlag(nbwDiver::LowEnergy));
    ASSERT_TRUE(On("/usr/logic/d", "addeventfunction('onlowenergy', 'onlowenergy')"));
    for (int i = 0; i < 3; i++) GameFrame(0.1f);
    EXPECT_TRUE(d->GetFlag(nbwDiver::LowEnergy));
    EXPECT_EQ(Calls("onlowenergy"), 1);
}

TEST_F(DiverTest, MovesPushTurnPitchAndExcludeEachOther) {
    GameFrame(0.0f);
    ASSERT_TRUE(On("/usr/logic/d", "playmove('forward', 'x', 1)"));
    GameFrame(0.1f);
    EXPECT_LT(d->GetPosition().z, 0.0f);
    EXPECT_NEAR(d->GetPosition().x, 0.0f, 1e-4f);
    EXPECT_NEAR(d->GetMoveValue(nbwDiver::Forward), 0.1f, 1e-6f);
    EXPECT_TRUE(d->GetFlag(nbwDiver::IsMoving));
    // Swimming forward shows animation 1.
    EXPECT_EQ(d->GetCurrentAnim(), 1.0f);

    // Backward waits until forward has faded out to exactly 0, and the other way round.
    int frames = 0;
    while (d->GetMoveValue(nbwDiver::Forward) > 0.0f && frames < 50) {
        ASSERT_TRUE(On("/usr/logic/d", "playmove('backward', 'x', 1)"));
        GameFrame(0.02f);
        EXPECT_EQ(d->GetMoveValue(nbwDiver::Backward), 0.0f);
        frames++;
    }
    EXPECT_EQ(frames, 5);
    ASSERT_TRUE(On("/usr/logic/d", "playmove('backward', 'x', 1)"));
    GameFrame(0.1f);
    EXPECT_GT(d->GetMoveValue(nbwDiver::Backward), 0.0f);
    ASSERT_TRUE(On("/usr/logic/d", "playmove('forward', 'x', 1)"));
    GameFrame(0.1f);
    EXPECT_EQ(d->GetMoveValue(nbwDiver::Forward), 0.0f);

    // "left" turns the nose (-z) towards -x, "right" towards +x.
    for (const char* move : {"left", "right"}) {
        nbwDiver* t = NewDiver((std::string("/usr/logic/turn_") + move).c_str(), 5, 0, 0);
        GameFrame(0.0f);
        for (int i = 0; i < 5; i++) {
            ASSERT_TRUE(On(t->GetFullName().c_str(), std::string("playmove('") + move + "', 'x', 0.5)"));
            GameFrame(0.1f);
        }
        const float noseX = -t->GetMatrix().m[2][0];
        if (std::string(move) == "left") EXPECT_LT(noseX, -0.01f);
        else EXPECT_GT(noseX, 0.01f);
    }
    // Pitching stops at a z-row y of 0.9: the move is not even requested.
    nbwDiver* p = NewDiver("/usr/logic/pitch", -5, 0, 0);
    matrix44 nose;
    nose.m[1][1] = nose.m[2][2] = std::sqrt(1.0f - 0.95f * 0.95f);
    nose.m[1][2] = -0.95f;
    nose.m[2][1] = 0.95f;
    p->SetMatrix(nose);
    ASSERT_GE(p->GetMatrix().m[2][1], 0.9f);
    ASSERT_TRUE(On("/usr/logic/pitch", "playmove('up', 'x', 0.7)"));
    EXPECT_EQ(p->GetMoveValue(nbwDiver::Up), 0.0f);
    ASSERT_TRUE(On("/usr/logic/pitch", "playmove('down', 'x', 0.7)"));
    EXPECT_EQ(p->GetMoveValue(nbwDiver::Down), 0.7f);
}

TEST_F(DiverTest, ActionsAndSwimmingTakeTurns) {
    nbwDiver* a = NewDiver("/usr/logic/act", 0, 0, 5);
    GameFrame(0.0f);
    ASSERT_TRUE(On("/usr/logic/act", "playmove('forward', 'x', 1)"));
    GameFrame(0.1f);
    kernel->PushCwd(a->GetActions());
    ASSERT_TRUE(Run("new('nbwaction', 'w') sel('w') setanimation('idle') setduration(5)"));
    kernel->PopCwd();
    auto* w = static_cast<nbwAction*>(Lookup("/usr/logic/act/actions/w"));
    ASSERT_NE(w, nullptr);
    // While an action waits, moves do nothing; while forward fades out, the action waits.
    ASSERT_TRUE(On("/usr/logic/act", "playmove('left', 'x', 1)"));
    EXPECT_EQ(a->GetMoveValue(nbwDiver::Left), 0.0f);
    GameFrame(0.05f);
    EXPECT_GT(a->GetMoveValue(nbwDiver::Forward), 0.0f);
    EXPECT_EQ(w->GetRuntime(), 0.0f);
    GameFrame(0.05f);
    EXPECT_EQ(a->GetMoveValue(nbwDiver::Forward), 0.0f);
    GameFrame(0.1f);
    EXPECT_GT(w->GetRuntime(), 0.0f);
}

TEST_F(DiverTest, WaterDragSlowsQuadraticallyAlikeHoweverTheTimeIsCut) {
    GameFrame(0.0f);
    nPhysikBody* body = Body(d);
    ASSERT_FLOAT_EQ(body->GetMassSum(), 6.0f);
    // 1 / v grows by 21.45 x share x t: the mass share is 1 along, 1.5 about.
    auto drag = [&](const vector3& v, const vector3& w, std::initializer_list<float> steps) {
        body->SetLinearVel(v);
        body->SetAngularVel(w);
        int i = 0;
        for (float step : steps) d->SubStep(step, i++);
    };
    for (auto steps : {std::initializer_list<float>{0.1f}, {0.05f, 0.05f}, {0.025f, 0.05f, 0.025f}}) {
        drag(vector3(0.0f, 0.6f, -0.8f), vector3(0.0f, 0.5f, 0.0f), steps);
        EXPECT_NEAR(body->GetLinearVel().Len(), 1.0f / 3.145f, 1e-4f) << steps.size();
        EXPECT_NEAR(body->GetLinearVel().y / body->GetLinearVel().z, -0.75f, 1e-5f);
        EXPECT_NEAR(body->GetAngularVel().y, 1.0f / (2.0f + 3.2175f), 1e-4f) << steps.size();
    }
    // However fast, the drag slows without turning the body back.
    drag(vector3(20.0f, 0.0f, 0.0f), vector3(), {0.1f});
    EXPECT_GT(body->GetLinearVel().x, 0.0f);
    EXPECT_LT(body->GetLinearVel().x, 0.5f);
}

// The banking rights a roll about the body's own long axis, at every pitch and heading: a
// couple pushed in the body's axes as though they were the world's also turned a pitched
// nose to the side, and a steeply pitched diver swung round.
TEST_F(DiverTest, BankingRightsARollAboutTheLongAxisAtEveryPitchAndHeading) {
    GameFrame(0.0f);
    d->SetStat(nbwDiver::BankingAccel, 8.0f);
    nPhysikBody* body = Body(d);
    for (float pitch : {0.0f, 0.6f, -1.12f}) {
        for (float heading : {0.0f, 2.0f}) {
            for (float roll : {0.1f, -0.1f}) {
                SCOPED_TRACE(testing::Message() << "pitch " << pitch << ", heading " << heading << ", roll " << roll);
                // The z row points back from the nose; the x row lies level, then rolls about z.
                const vector3 z(std::sin(heading) * std::cos(pitch), -std::sin(pitch), std::cos(heading) * std::cos(pitch));
                const vector3 level(std::cos(heading), 0.0f, -std::sin(heading));
                const vector3 y = z * level;
                const vector3 x = level * std::cos(roll) + y * std::sin(roll);
                const vector3 rows[3] = {x, z * x, z};
                matrix44 m;
                for (int row = 0; row < 3; row++) {
                    m.m[row][0] = rows[row].x;
                    m.m[row][1] = rows[row].y;
                    m.m[row][2] = rows[row].z;
                }
                body->SetMatrix(m);
                body->SetLinearVel(vector3());
                body->SetAngularVel(vector3());
                body->SetForce(vector3());
                body->SetTorque(vector3());
                d->SubStep(0.01f, 0);
                const vector3 t = body->GetTorque();
                const float about = t % z;
                EXPECT_GT(std::fabs(about), 0.5f);
                EXPECT_LT(about * roll, 0.0f) << "it rolls further";
                EXPECT_LT((t - z * about).Len(), 0.01f * std::fabs(about)) << "it turns the nose";
            }
        }
    }
}

TEST_F(DiverTest, MoveToSwimsTurnsArrivesAndLeavesALeaderFarAway) {
    GameFrame(0.0f);
    ASSERT_TRUE(On("/usr/logic/d", "moveto(0, 0, 0.5) moveto(0, 1/0, 0)"));
    EXPECT_TRUE(LogHas("v_moveto_fff: (0, inf, 0) is no point: ignored"));
    GameFrame(0.1f);
    EXPECT_FALSE(d->GetFlag(nbwDiver::IsMoving));
    ASSERT_TRUE(On("/usr/logic/d", "moveto(0, 0, -5)"));
    GameFrame(0.1f);
    EXPECT_GT(d->GetMoveValue(nbwDiver::Forward), 0.0f);
    GameFrame(0.5f);
    ASSERT_TRUE(On("/usr/logic/d", "moveto(0, -3, 8)"));
    // Behind: turn, and pitch by a tenth of the height difference.
    EXPECT_EQ(d->GetMoveValue(nbwDiver::Left), 1.0f);
    EXPECT_NEAR(d->GetMoveValue(nbwDiver::Up), 0.3f, 1e-3f);
    EXPECT_EQ(d->GetMoveValue(nbwDiver::Forward), 0.0f);

    nbwDiver* f = NewDiver("/usr/logic/f", 3, 0, 0);
    ASSERT_TRUE(On("/usr/logic/d", "addfollower('../f')"));
    ASSERT_EQ(d->GetFollower(0), f);
    ASSERT_TRUE(On("/usr/logic/f", "addeventfunction('onstopfollowing', 'onstop') moveto(20, 0, 0)"));
    EXPECT_EQ(d->GetFollower(0), nullptr);
    GameFrame(0.0f);
    EXPECT_EQ(Calls("onstop"), 1);
    EXPECT_EQ(Eval("last[1]"), "/usr/logic/f");
}

TEST_F(DiverTest, FollowersTakeSlotsSteerAndAreFreed) {
    GameFrame(0.0f);
    nbwDiver* fs[9];
    for (int i = 0; i < 9; i++) {
        const std::string path = "/usr/logic/f" + std::to_string(i);
        fs[i] = NewDiver(path.c_str(), 0, 0, 4);
        ASSERT_TRUE(On("/usr/logic/d", "addfollower('" + path + "')"));
    }
    EXPECT_EQ(EvalOn("/usr/logic/f0", "getpath('leader')"), "/usr/logic/d");
    for (int i = 0; i < 8; i++) EXPECT_EQ(d->GetFollower(i), fs[i]);
    EXPECT_NEAR(d->GetFollowerOffset(0).z, 3.0f, 1e-5f);
    EXPECT_EQ(fs[8]->GetPath(nbwDiver::Leader), nullptr);
    EXPECT_TRUE(LogHas("all 8 follower slots are taken"));

    // Each frame the leader steers them to their places: 1 ahead of them, so they swim.
    ASSERT_TRUE(Run("sel('/usr/logic/d') txyz(0, 0, -2)"));
    GameFrame(0.1f);
    EXPECT_GT(fs[0]->GetMoveValue(nbwDiver::Forward), 0.0f);
    EXPECT_EQ(fs[8]->GetMoveValue(nbwDiver::Forward), 0.0f);

    fs[3]->Release();
    EXPECT_EQ(d->GetFollower(3), nullptr);
    ASSERT_TRUE(On("/usr/logic/d", "addfollower('/usr/logic/f8')"));
    EXPECT_EQ(d->GetFollower(3), fs[8]);
    ASSERT_TRUE(On("/usr/logic/d", "clearfollowers()"));
    for (int i = 0; i < 8; i++) EXPECT_EQ(d->GetFollower(i), nullptr);
    EXPECT_EQ(fs[0]->GetPath(nbwDiver::Leader), nullptr);

    // Only divers follow.
    NewItem("/usr/logic/box");
    ASSERT_TRUE(On("/usr/logic/d", "addfollower('/usr/logic/box') addfollower('/usr/logic/nobody')"));
    EXPECT_TRUE(LogHas("'/usr/logic/box' is no nbwdiver: ignored"));
    EXPECT_TRUE(LogHas("'/usr/logic/nobody' names nothing: ignored"));
    EXPECT_EQ(d->GetFollower(0), nullptr);
}

TEST_F(DiverTest, ValuesDriveHandTargetZoomAndTheirEvents) {
    nbwItem* knife = NewItem("/usr/logic/knife");
    nbwItem* lamp = NewItem("/usr/logic/lamp");
    ASSERT_TRUE(On("/usr/logic/d", "addeventfunction('onitemchanged', 'onitem') setpath('hand', '/usr/logic/knife')"));
    EXPECT_EQ(d->GetRightHand(), "");
    ASSERT_TRUE(On("/usr/logic/d", "setflag('showhand', true)"));
    EXPECT_EQ(d->GetRightHand(), "/usr/logic/knife");
    ASSERT_TRUE(On("/usr/logic/d", "setpath('hand', '/usr/logic/lamp')"));
    EXPECT_EQ(d->GetRightHand(), "/usr/logic/lamp");
    GameFrame(0.0f);
    EXPECT_EQ(Calls("onitem"), 2);
    EXPECT_EQ(Eval("last[1] .. ' ' .. last[2] .. ' ' .. last[3]"), "/usr/logic/d /usr/logic/knife /usr/logic/lamp");
    ASSERT_TRUE(On("/usr/logic/d", "setflag('showhand', false)"));
    EXPECT_EQ(d->GetRightHand(), "");
    lamp->SetInt(nbwItem::AlwaysVisible, 1);
    ASSERT_TRUE(On("/usr/logic/d", "setflag('showhand', false)"));
    EXPECT_EQ(d->GetRightHand(), "/usr/logic/lamp");

    ASSERT_TRUE(On("/usr/logic/d", "setpath('target', '/usr/logic/knife')"));
    EXPECT_STREQ(knife->GetString(nbwItem::Owner), "/usr/logic/d");
    ASSERT_TRUE(On("/usr/logic/d", "setpath('target', '/usr/logic/lamp')"));
    EXPECT_STREQ(knife->GetString(nbwItem::Owner), "none");
    EXPECT_STREQ(lamp->GetString(nbwItem::Owner), "/usr/logic/d");

    ASSERT_TRUE(On("/usr/logic/d", "setflag('singleplayer', true)"));
    EXPECT_EQ(d->GetStat(nbwDiver::ZoomState), 0.0f);
    ASSERT_TRUE(On("/usr/logic/d", "setflag('singleplayer', false)"));
    EXPECT_EQ(d->GetStat(nbwDiver::ZoomState), 1.0f);

    // A hand or target of another class is skipped and logged once.
    nbwDiver* other = NewDiver("/usr/logic/other", 9, 0, 0);
    ASSERT_TRUE(On("/usr/logic/d", "setpath('hand', '/usr/logic/other') setflag('showhand', true)"));
    EXPECT_EQ(Calls("onitem"), 2);
    EXPECT_TRUE(LogHas("'/usr/logic/other' (hand) is no nbwitem: skipped"));
    ASSERT_TRUE(On("/usr/logic/d", "setpath('target', '/usr/logic/other')"));
    EXPECT_EQ(other->GetPath(nbwDiver::Hand), nullptr);
}

TEST_F(DiverTest, FishAttacksAreDefendedOnlyWithAShockStick) {
    ASSERT_TRUE(On("/usr/logic/d", "addeventfunction('onfishattack', 'onfish')"));
    GameFrame(0.5f);
    d->FishAttack();
    EXPECT_EQ(d->GetAttackTimer(), 0.0f);
    EXPECT_EQ(d->GetDefendTimer(), nbwDiver::TimerLimit);
    GameFrame(0.5f);
    EXPECT_EQ(Eval("last[2]"), "1");
    EXPECT_FLOAT_EQ(d->GetAttackTimer(), 0.5f);

    nbwItem* stick = NewItem("/usr/logic/stick", "schockstab");
    ASSERT_TRUE(On("/usr/logic/d", "setpath('hand', '/usr/logic/stick')"));
    d->FishAttack();
    EXPECT_EQ(d->GetDefendTimer(), 0.0f);
    EXPECT_TRUE(d->GetFlag(nbwDiver::ShowHand));
    EXPECT_EQ(d->GetRightHand(), "/usr/logic/stick");
    EXPECT_FLOAT_EQ(stick->GetFloat(nbwItem::UseTime), 2.5f);
    GameFrame(0.1f);
    EXPECT_EQ(Eval("last[2]"), "0");
    EXPECT_EQ(Calls("onfish"), 2);
}

TEST_F(DiverTest, FadesReachTheirTargetAndClamp) {
    ASSERT_TRUE(On("/usr/logic/d", "fadeto(0.0, 0)"));
    EXPECT_EQ(d->GetStat(nbwDiver::Transparency), 0.0f);
    EXPECT_EQ(d->GetStat(nbwDiver::Transparency2), 0.0f);
    ASSERT_TRUE(On("/usr/logic/d", "fadeto(0.5, 2)"));
    for (int i = 0; i < 20; i++) GameFrame(0.1f);
    EXPECT_NEAR(d->GetStat(nbwDiver::Transparency), 0.5f, 1e-5f);
    EXPECT_NEAR(d->GetStat(nbwDiver::Transparency2), 0.5f, 1e-5f);
    for (int i = 0; i < 5; i++) GameFrame(0.1f);
    EXPECT_NEAR(d->GetStat(nbwDiver::Transparency), 0.5f, 0.05f + 1e-5f);
    // A frame longer than the fade ends it on its target.
    ASSERT_TRUE(On("/usr/logic/d", "fadeto(0.2, 0.5)"));
    GameFrame(1.0f);
    EXPECT_NEAR(d->GetStat(nbwDiver::Transparency), 0.2f, 1e-5f);
    ASSERT_TRUE(On("/usr/logic/d", "fadeto(3, 0.5)"));
    for (int i = 0; i < 10; i++) GameFrame(0.1f);
    EXPECT_EQ(d->GetStat(nbwDiver::Transparency), 1.0f);
}

TEST_F(DiverTest, TheNodeFollowsItsBodyUnderAMovedParentAndStaysWithoutOne) {
    ASSERT_TRUE(Run("new('nlogicvisual2', '/usr/logic/raft') sel('/usr/logic/raft') txyz(10, 0, 0)"));
    nbwDiver* r = NewDiver("/usr/logic/raft/r", 0, 0, 0);
    GameFrame(0.0f);
    ASSERT_TRUE(On("/usr/logic/raft/r", "playmove('forward', 'x', 1)"));
    GameFrame(0.1f);
    // The body swims in the world; the node keeps the raft's offset out of its own matrix.
    EXPECT_NEAR(Body(r)->GetMatrix().m[3][0], 10.0f, 1e-4f);
    EXPECT_NEAR(r->GetPosition().x, 0.0f, 1e-4f);
    EXPECT_LT(r->GetPosition().z, 0.0f);
    EXPECT_NEAR(r->GetMotion().z, r->GetPosition().z, 1e-5f);
    EXPECT_NEAR(r->GetMotion().x, 0.0f, 1e-5f);

    ASSERT_TRUE(Run("new('nbwdiver', '/usr/logic/bare') sel('/usr/logic/bare') txyz(1, 2, 3)"));
    auto* bare = static_cast<nbwDiver*>(Lookup("/usr/logic/bare"));
    GameFrame(0.1f);
    EXPECT_EQ(bare->GetPosition(), vector3(1.0f, 2.0f, 3.0f));
    EXPECT_FALSE(bare->StepPhysik(bare->GetMatrix()));
}

TEST_F(DiverTest, ContactsPushTheBodyButFishSwimThrough) {
    nCollideObject2 mine, theirs;
    mine.owner = d;
    nCollideReport hit;
    hit.objA = &mine;
    hit.objB = &theirs;
    hit.depth = 0.3f;
    hit.normal1 = hit.normal2 = vector3(0.0f, 1.0f, 0.0f);
    nCollideReport* one[] = {&hit};
    auto speedAfterContactWith = [&](nLogicNode* partner) {
        Body(d)->SetLinearVel(vector3());
        theirs.owner = partner;
        root->Trigger(graph);
        graph->TraversePass(root);
        d->JoinContacts(one, 1);
        graph->Step(0.05f);
        return Body(d)->GetLinearVel().Len();
    };
    // A body takes part in contact joints once it has been stepped.
    GameFrame(0.05f);
    auto* fish = static_cast<nLogicNode*>(kernel->New("nlogicboid", "/usr/logic/fish"));
    auto* rock = static_cast<nLogicNode*>(kernel->New("nlogiccollision2", "/usr/logic/rock"));
    EXPECT_EQ(speedAfterContactWith(fish), 0.0f);
    EXPECT_GT(speedAfterContactWith(rock), 0.0f);
}

TEST_F(DiverTest, TheVisualGetsTheNineVariables) {
    kernel->AddClass(nRecordingVisualizer::classInfo);
    auto* rec = static_cast<nRecordingVisualizer*>(kernel->New("nrecordingvisualizer", "/usr/modules/rec"));
    ASSERT_NE(rec, nullptr);
    ASSERT_TRUE(On("/usr/logic/d", "addvisualizer('default', '/usr/modules/rec') setstat('tank', 0.75)"
                                   " setflag('headcamera', true) fadeto(0.25, 0)"));
    GameFrame(0.25f);
    const std::vector<std::string> own(rec->order.end() - 9, rec->order.end());
    EXPECT_EQ(own, (std::vector<std::string>{"fxtime", "right_hand", "tank", "transparency", "transparency2",
                                             "headlight", "headcamera", "attack", "defend"}));
    EXPECT_EQ(rec->texts["right_hand"], "none");
    EXPECT_EQ(rec->floats["tank"], 0.75f);
    EXPECT_EQ(rec->floats["transparency"], 0.25f);
    EXPECT_EQ(rec->floats["transparency2"], 0.25f);
    EXPECT_EQ(rec->floats["headlight"], 0.0f);
    EXPECT_EQ(rec->floats["headcamera"], 1.0f);
    EXPECT_EQ(rec->floats["attack"], nbwDiver::TimerLimit);
    d->FishAttack();
    NewItem("/usr/logic/lamp");
    ASSERT_TRUE(On("/usr/logic/d", "setflag('showhand', true) setpath('hand', '/usr/logic/lamp')"));
    GameFrame(0.25f);
    EXPECT_EQ(rec->floats["attack"], 0.25f);
    EXPECT_EQ(rec->texts["right_hand"], "/usr/logic/lamp");
}

// The item zone and the body's contacts on the exact collide server.
class DiverContactTest : public GameZoneFixture {
protected:
    void SetUp() override {
        GameZoneFixture::SetUp();
        physik->SetGravity(vector3(0.0f, 0.0f, 0.0f));
        ASSERT_TRUE(Run(kDiverScript));
        ASSERT_TRUE(Run(R"lua(
            diver('/usr/logic/d', 0, 0, 0)
            new('nmodsimplecollision', 'zone') sel('zone') setradius(2) setcollclass('ghost') setdynamic(true)
            sel('..') addcollision('itemzone', 'zone') addeventfunction('onnearestitemchange', 'onnear')
            function item(path, x)
                new('nbwitem', path) sel(path) txyz(x, 0, 0)
                new('nmodsimplecollision', 's') sel('s') setradius(0.3) setcollclass('solid') sel('..')
                addcollision('item', 's')
            end
        )lua"));
        d = static_cast<nbwDiver*>(Lookup("/usr/logic/d"));
    }
    int Calls(const char* name) { return std::stoi(Eval(std::string("calls['") + name + "'] or 0")); }
    std::string EvalOn(const char* path, const std::string& expr) {
        return Run(std::string("sel('") + path + "') __eval = " + expr) ? Global("__eval") : "<error>";
    }
    nbwDiver* d = nullptr;
};

TEST_F(DiverContactTest, TheNearestItemIsAnnouncedWhenItChanges) {
    EXPECT_EQ(EvalOn("/usr/logic/d", "getcollcontext('itemzone')"), "physik");
    ASSERT_TRUE(Run("item('/usr/logic/far', 1.5) item('/usr/logic/near', -1)"));
    Frame(0.1f);
    EXPECT_EQ(d->GetNearItem(), Lookup("/usr/logic/near"));
    for (int i = 0; i < 3; i++) Frame(0.1f);
    EXPECT_EQ(Calls("onnear"), 1);
    ASSERT_TRUE(Run("sel('/usr/logic/near') txyz(10, 0, 0)"));
    Frame(0.1f);
    Frame(0.1f);
    EXPECT_EQ(d->GetNearItem(), Lookup("/usr/logic/far"));
    EXPECT_EQ(Calls("onnear"), 2);
    ASSERT_TRUE(Run("sel('/usr/logic/far') txyz(10, 5, 0)"));
    Frame(0.1f);
    Frame(0.1f);
    EXPECT_EQ(d->GetNearItem(), nullptr);
    EXPECT_EQ(Calls("onnear"), 3);
    EXPECT_EQ(EvalOn("/usr/logic/d", "getnearitem()"), "none");
}

// A thing's own place may lie far from its shape (a door's at its hinge): the nearest is
// the item whose shape's middle lies nearest the reach's, not the one whose place does.
TEST_F(DiverContactTest, TheNearestItemIsTheOneWhoseShapeLiesNearest) {
    ASSERT_TRUE(Run("item('/usr/logic/small', -1) item('/usr/logic/leaf', 1.5) "
                    "sel('/usr/logic/leaf/s') txyz(-1.4, 0, 0) setradius(0.5)"));
    Frame(0.1f);
    Frame(0.1f);
    EXPECT_EQ(d->GetNearItem(), Lookup("/usr/logic/leaf"));
    ASSERT_TRUE(Run("sel('/usr/logic/leaf') txyz(3, 0, 0)"));
    Frame(0.1f);
    Frame(0.1f);
    EXPECT_EQ(d->GetNearItem(), Lookup("/usr/logic/small"));
}

TEST_F(DiverContactTest, AnItemsDamageZoneDrainsLifeUnlessResisted) {
    ASSERT_TRUE(Run(R"lua(
        sel('/usr/logic/d') new('nmodsimplecollision', 'skin') sel('skin') setradius(0.5) setcollclass('solid')
        sel('..') addcollision('damage', 'skin')
        new('nbwitem', '/usr/logic/jelly') sel('/usr/logic/jelly') txyz(1, 0, 0) setfloat('damage', 0.5)
        setint('damagetype', 1)
        new('nmodsimplecollision', 'sting') sel('sting') setradius(1) setcollclass('ghost') setdynamic(true)
        sel('..') addcollision('damage', 'sting')
    )lua"));
    EXPECT_EQ(EvalOn("/usr/logic/d", "getcollcontext('damage')"), "damage");
    Frame(0.1f);
    EXPECT_NEAR(d->GetStat(nbwDiver::LifePoints), std::exp(-0.05f), 1e-5f);
    d->SetFlag(nbwDiver::ChemicResist, true);
    Frame(0.1f);
    EXPECT_NEAR(d->GetStat(nbwDiver::LifePoints), std::exp(-0.05f), 1e-5f);
    ASSERT_TRUE(Run("sel('/usr/logic/jelly') setint('damagetype', 0)"));
    Frame(0.1f);
    EXPECT_NEAR(d->GetStat(nbwDiver::LifePoints), std::exp(-0.1f), 1e-5f);
}

TEST_F(DiverContactTest, ADocumentationToolShownInTheHandLooksWhereTheHandIs) {
    ASSERT_TRUE(Run(R"lua(
        new('nbwdokutool', '/usr/logic/cam') sel('/usr/logic/cam') setstring('type', 'fotoapparat') txyz(0, 0, -1)
        new('nmodsimplecollision', 'view') sel('view') setradius(1) setcollclass('ghost') setdynamic(true)
        sel('..') addcollision('camera', 'view')
        item('/usr/logic/wreck', -1) sel('/usr/logic/wreck') txyz(0, 0, -20) setfloat('docvalue', 4)
        sel('/usr/logic/d') setpath('hand', '/usr/logic/cam') setflag('showhand', true)
    )lua"));
    auto* cam = static_cast<nbwDokuTool*>(Lookup("/usr/logic/cam"));
    ASSERT_NE(cam, nullptr);
    Frame(0.1f);
    cam->MakeDokumentation(0.0f);
    const float before = cam->GetDokumentation();
    // The diver moves the view to the hand's place in its frame: 1 ahead of a diver at -19.
    ASSERT_TRUE(Run("sel('/usr/logic/d') txyz(0, 0, -19)"));
    Frame(0.1f);
    Frame(0.1f);
    EXPECT_GT(cam->GetDokumentation(), before);
}

}  // namespace
