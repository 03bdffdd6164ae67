// Start points and damage zones through the logic graph's passes on the exact collide
// server: what touches a start point, and what a damage zone drains.
#include <gtest/gtest.h>

#include "game/nbwStartPoint.h"
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

}  // namespace
