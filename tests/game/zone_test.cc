// Start points and damage zones through the logic graph's passes on the exact collide
// server: what touches a start point, and what a damage zone drains.
#include <gtest/gtest.h>

#include <cmath>

#include "game/nbwActor.h"
#include "game/nbwDamageZone.h"
#include "game/nbwStartPoint.h"
#include "kernel/nMathServer.h"
#include "kernel/nRandom.h"
#include "scene/nChannelServer.h"
#include "tests/game/GameZoneFixture.h"

namespace {

class ZoneTest : public GameZoneFixture {
protected:
    void SetUp() override {
        // A zone's shape is dynamic, so resting bodies are checked against it where they
        // stand.
        GameZoneFixture::SetUp();
        ASSERT_TRUE(Run(R"lua(
            function zone(cls, path, state, x)
                new(cls, path) sel(path) txyz(x, 0, 0)
                new('nmodsimplecollision', 'shape') sel('shape') setradius(2) setcollclass('ghost')
                setdynamic(true) sel('..') addcollision(state, 'shape')
            end
            function body(cls, path, context, x)
                new(cls, path) sel(path) txyz(x, 0, 0)
                new('nmodsimplecollision', 's') sel('s') setradius(0.5) setcollclass('solid') sel('..')
                addcollision('body', 's') setcollcontext('body', context)
            end
        )lua"));
    }
};

TEST_F(ZoneTest, AStartPointIsTakenInTheFramesSomethingTouchesIt) {
    ASSERT_TRUE(Run("zone('nbwstartpoint', '/usr/logic/start', 'startpoint', 0)"
                    " new('nbwstartpoint', '/usr/logic/bare') sel('/usr/logic/bare')"));
    auto* start = static_cast<nbwStartPoint*>(Lookup("/usr/logic/start"));
    auto* bare = static_cast<nbwStartPoint*>(Lookup("/usr/logic/bare"));
    EXPECT_EQ(Eval("getcollcontext('startpoint')"), "trigger");
    Frame(0.1f);
    EXPECT_TRUE(start->GetEmptyStatus());

    ASSERT_TRUE(Run("body('nlogiccollision2', '/usr/logic/diver', 'trigger', 10)"));
    // A value a script sets lasts until the next collision pass.
    start->SetEmptyStatus(false);
    Frame(0.1f);
    EXPECT_TRUE(start->GetEmptyStatus());
    ASSERT_TRUE(Run("sel('/usr/logic/diver') txyz(1, 0, 0)"));
    Frame(0.1f);
    EXPECT_FALSE(start->GetEmptyStatus());
    Frame(0.1f);
    EXPECT_FALSE(start->GetEmptyStatus());
    ASSERT_TRUE(Run("sel('/usr/logic/diver') txyz(10, 0, 0)"));
    Frame(0.1f);
    EXPECT_TRUE(start->GetEmptyStatus());
    // A start point with no module in its state is always empty, touched or not.
    ASSERT_TRUE(Run("sel('/usr/logic/diver') txyz(0, 0, 0)"));
    Frame(0.1f);
    EXPECT_TRUE(bare->GetEmptyStatus());
    // A disabled state finds nothing either.
    ASSERT_TRUE(Run("sel('/usr/logic/start') sethandleractive('collision', 'startpoint', false)"));
    Frame(0.1f);
    EXPECT_TRUE(start->GetEmptyStatus());

    // Saved: the collision node's lines only.
    ASSERT_TRUE(start->SaveAs(Path("start").c_str()));
    const std::string text = Slurp(Path("start.n"));
    EXPECT_EQ(text.find("setemptystatus"), std::string::npos);
    EXPECT_NE(text.find("setcollcontext( \"startpoint\", \"trigger\" )"), std::string::npos) << text;
}

// Divers touching a damage zone lose a share of their life a second, once per contact, the
// same over a second whatever its frames; nothing else is drained.
TEST_F(ZoneTest, ADamageZoneDrainsTheDiversTouchingItAndNothingElse) {
    nRandom::Seed(3);
    auto* math = static_cast<nMathServer*>(kernel->New("nmathserver", "/sys/servers/math"));
    math->Fill();
    ASSERT_TRUE(Run("zone('nbwdamagezone', '/usr/logic/zone', 'damage', 0)"
                    " sel('/usr/logic/zone') setmindamage(0.5) setmaxdamage(0.5)"
                    " body('nbwdiver', '/usr/logic/diver', 'damage', 1)"
                    " body('nbwitem', '/usr/logic/crate', 'damage', -1)"
                    " body('nlogiccollision2', '/usr/logic/rock', 'damage', 0)"));
    EXPECT_EQ(Eval("obj('/usr/logic/zone').getcollcontext('damage')"), "damage");
    auto* diver = static_cast<nbwActor*>(Lookup("/usr/logic/diver"));
    // The diver's own life use is switched off to see the zone's alone.
    diver->SetStatByName("lifelose", 0.0f);
    diver->SetStat(0, 100.0f);
    float life = 100.0f;
    for (int i = 0; i < 3; i++) {
        Frame(0.1f);
        life *= std::exp(-0.05f);
        EXPECT_NEAR(diver->GetStat(0), life, 1e-3f) << i;
    }
    for (int frames : {1, 4, 60}) {
        diver->SetStat(0, 100.0f);
        for (int i = 0; i < frames; i++) Frame(1.0f / float(frames));
        EXPECT_NEAR(diver->GetStat(0), 100.0f * std::exp(-0.5f), 1e-3f) << frames << " frames";
    }
    diver->SetStat(0, life);
    // Between minimum and maximum the rate comes from the random table, one entry a contact.
    ASSERT_TRUE(Run("sel('/usr/logic/zone') setmindamage(0) setmaxdamage(1)"));
    int counter = 0;
    for (int i = 0; i < 3; i++) {
        Frame(0.1f);
        const float rate = (math->GetRandom(counter++ & 1023) + 1.0f) / 2.0f;
        life *= std::exp(-0.1f * rate);
    }
    EXPECT_NEAR(diver->GetStat(0), life, 1e-3f);

    // A second shape of the diver in the zone: drained twice a frame.
    ASSERT_TRUE(Run("sel('/usr/logic/zone') setmindamage(0.5) setmaxdamage(0.5)"
                    " sel('/usr/logic/diver') new('nmodsimplecollision', 's2') sel('s2') setradius(0.5)"
                    " setcollclass('solid') sel('..') addcollision('body', 's2')"));
    Frame(0.1f);
    life *= std::exp(-0.1f);
    EXPECT_NEAR(diver->GetStat(0), life, 1e-3f);

    // Both limits 0: nothing changes.
    ASSERT_TRUE(Run("sel('/usr/logic/zone') setmindamage(0) setmaxdamage(0)"));
    Frame(0.1f);
    EXPECT_NEAR(diver->GetStat(0), life, 1e-3f);

    // Saved: the collision node's lines, then minimum and maximum.
    ASSERT_TRUE(Run("sel('/usr/logic/zone') setmindamage(0.25) setmaxdamage(0.75)"));
    ASSERT_TRUE(Lookup("/usr/logic/zone")->SaveAs(Path("zone").c_str()));
    const std::string text = Slurp(Path("zone.n"));
    EXPECT_NE(text.find("setcollcontext( \"damage\", \"damage\" )\nsetmindamage( 0.25000000 )\n"
                        "setmaxdamage( 0.75000000 )\n"),
              std::string::npos)
        << text;
}

}  // namespace
