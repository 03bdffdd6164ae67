// The debug lines of fish and leopards, drawn through the observer fixture's recording
// graphics server in a frame of the logic graph.
#include <gtest/gtest.h>

#include <cmath>

#include "collide/nCollideServer2.h"
#include "game/nGamePackage.h"
#include "game/nbwFish.h"
#include "game/nbwLeopard.h"
#include "scene/nChannelServer.h"
#include "tests/logic/ObserverFixture.h"

namespace {

class FaunaDrawTest : public ObserverFixture {
protected:
    void SetUp() override {
        ObserverFixture::SetUp();
        collide->NewContext("damage");
        nGamePackage(kernel);
        // Only a node with a visualizer is drawn.
        NewModule("/usr/modules/look", 2);
    }
    // A logic frame with the frame time in the "frametime" channel, as the observer sets it.
    void Frame(float dt) {
        auto* channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
        channels->SetChannel1f(channels->GenChannel("frametime"), dt);
        LogicFrame(dt);
    }
    void Show(nLogicVisual2* node) { node->AddVisualizer("default", "/usr/modules/look"); }
    using Points = std::vector<nObsGfx::Point>;
};

TEST_F(FaunaDrawTest, ADebugFishDrawsItsBoxInTheColourOfItsStateAndItsMotion) {
    auto* fish = static_cast<nbwFish*>(kernel->New("nbwfish", "/usr/logic/fish"));
    Show(fish);
    fish->SetBox(2.0f, 1.0f, 3.0f);
    Frame(0.1f);
    EXPECT_TRUE(ogfx->points.empty());

    fish->SetDebugMode(true);
    Frame(0.1f);
    const Points pts = ogfx->points;
    ASSERT_EQ(pts.size(), 28u);
    // Twelve edges, each along one axis between two corners of the box.
    for (size_t i = 0; i < 24; i += 2) {
        const nObsGfx::Point &a = pts[i], &b = pts[i + 1];
        EXPECT_EQ(std::fabs(a.x), 2.0f);
        EXPECT_EQ(std::fabs(a.y), 1.0f);
        EXPECT_EQ(std::fabs(b.z), 3.0f);
        const int differ = (a.x != b.x) + (a.y != b.y) + (a.z != b.z);
        EXPECT_EQ(differ, 1) << i;
        EXPECT_EQ(a.g, 1.0f);  // cruising: green
        EXPECT_EQ(a.r, 0.0f);
    }
    // The motion from the fish's place.
    const vector3 p = fish->GetWorldMatrix().Translation();
    EXPECT_NEAR(pts[24].x, p.x, 1e-5f);
    EXPECT_NEAR(pts[25].x - pts[24].x, fish->GetVelocity().x, 1e-5f);
    EXPECT_NEAR(pts[25].z - pts[24].z, fish->GetVelocity().z, 1e-5f);

    ogfx->points.clear();
    fish->SetState(nbwFish::Flee);
    fish->SetCruiseTimer(1e9f);
    Frame(0.1f);
    ASSERT_EQ(ogfx->points.size(), 28u);
    EXPECT_EQ(ogfx->points[0].r, 1.0f);
    EXPECT_EQ(ogfx->points[0].g, 1.0f);
}

TEST_F(FaunaDrawTest, ADebugLeopardMarksItsCurrentPoint) {
    auto* cat = static_cast<nbwLeopard*>(kernel->New("nbwleopard", "/usr/logic/cat"));
    Show(cat);
    cat->BeginTargets(2);
    cat->SetTarget(1, 4.0f, 0.0f, 0.0f);
    cat->SetTarget(0, 0.0f, 0.0f, 0.0f);
    cat->SetSpeed(1.0f);
    cat->SetDebugMode(true);
    // Hidden at its first point, it is not drawn; the walk shows it.
    for (int i = 0; i < 5 && cat->GetCurrentTarget() < 0; i++) Frame(0.1f);
    ASSERT_GE(cat->GetCurrentTarget(), 0);
    ogfx->points.clear();
    Frame(0.1f);
    const Points pts = ogfx->points;
    // A post at each point and the path between them.
    ASSERT_EQ(pts.size(), 6u);
    const int current = cat->GetCurrentTarget();
    const nObsGfx::Point& post = pts[current == 0 ? 0 : 4];
    EXPECT_EQ(post.r, 1.0f);
    EXPECT_EQ(post.g, 0.0f);
    const nObsGfx::Point& other = pts[current == 0 ? 4 : 0];
    EXPECT_EQ(other.g, 1.0f);
    EXPECT_EQ(pts[2].x, 0.0f);
    EXPECT_EQ(pts[3].x, 4.0f);
}

}  // namespace
