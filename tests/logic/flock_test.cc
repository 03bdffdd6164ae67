// Flocks and boids through the logic graph's passes: the box and the visibility table,
// the view cone, saving; the boids' speed band, the boundary's returning flag, the flee
// push of a contact, a school that stays together; joining, leaving and destruction; a
// school that grows every frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "kernel/nRandom.h"
#include "kernel/nRef.h"
#include "logic/nLogicBoid.h"
#include "logic/nLogicFlock.h"
#include "scene/nChannelServer.h"
#include "tests/logic/AllocationCount.h"
#include "tests/logic/PhysikFixture.h"

namespace {

class FlockTest : public PhysikFixture {
protected:
    void SetUp() override {
        PhysikFixture::SetUp();
        nRandom::Seed(7);
    }
    nLogicFlock* Flock(const char* path = "/usr/logic/flock") {
        return static_cast<nLogicFlock*>(kernel->New("nlogicflock", path));
    }
    nLogicBoid* Boid(const char* path, float x, float y, float z) {
        auto* b = static_cast<nLogicBoid*>(kernel->New("nlogicboid", path));
        b->SetPosition(vector3(x, y, z));
        return b;
    }
    // A frame of the logic graph with the frame time in the "frametime" channel.
    void Frame(float dt) {
        auto* channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
        channels->SetChannel1f(channels->GenChannel("frametime"), dt);
        LogicFrame(dt);
    }
    static bool Finite(const vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
};

TEST_F(FlockTest, TheBoxTheTableAndTheViewCone) {
    nLogicFlock* f = Flock();
    EXPECT_EQ(f->GetBoxMin(), vector3(-10, 1, -10));
    EXPECT_EQ(f->GetBoxMax(), vector3(10, 6, 10));
    EXPECT_EQ(f->GetExtent(), 20.0f);
    // Swapped corners are kept as given.
    ASSERT_TRUE(Run("sel('/usr/logic/flock') setbb(4, 2, 4, -4, 0, -4)"));
    EXPECT_EQ(f->GetBoxMin(), vector3(4, 2, 4));
    EXPECT_EQ(f->GetExtent(), -2.0f);
    ASSERT_TRUE(Run("setbb(-3, 0, -5, 3, 1, 5) settarget(1, 2, 3) settargetoffset(1, 2, 3)"));
    EXPECT_EQ(f->GetExtent(), 10.0f);

    // The view cone about the heading: cos 72.5 degrees is 0.3.
    nLogicBoid* a = Boid("/usr/logic/flock/a", 0, 0, 0);
    a->SetVelocity(vector3(0, 0, -2));
    auto seen = [&](float degrees) {
        const float r = float(degrees * M_PI / 180.0);
        nLogicBoid* o = Boid("/usr/logic/flock/o", 4 * std::sin(r), 0, -4 * std::cos(r));
        bool s = a->CanSee(o);
        o->Release();
        return s;
    };
    EXPECT_TRUE(seen(0));
    EXPECT_FALSE(seen(180));
    EXPECT_TRUE(seen(72));
    EXPECT_FALSE(seen(73));
    EXPECT_FALSE(a->CanSee(a));

    // Numbered in list order when the table is rebuilt; a boid that joins later is seen
    // by no one until the next rebuild.
    nLogicBoid* b = Boid("/usr/logic/flock/b", 0, 0, -3);
    nLogicBoid* c = Boid("/usr/logic/flock/c", 0, 0, 3);
    EXPECT_TRUE(f->IsTableDirty());
    f->Trigger(graph);
    EXPECT_FALSE(f->IsTableDirty());
    EXPECT_EQ(f->GetTableSize(), 3);
    EXPECT_EQ(a->GetTableIndex(), 0);
    EXPECT_EQ(b->GetTableIndex(), 1);
    EXPECT_EQ(c->GetTableIndex(), 2);
    EXPECT_TRUE(f->Sees(a, b));
    EXPECT_FALSE(f->Sees(a, c));
    EXPECT_FALSE(f->Sees(a, a));
    nLogicBoid* late = Boid("/usr/logic/flock/late", 0, 0, -1);
    EXPECT_FALSE(f->Sees(a, late));
    EXPECT_FALSE(f->Sees(late, b));
    EXPECT_TRUE(f->IsTableDirty());

    // A boid that leaves is gone from the list, and the table numbers the rest anew.
    b->Release();
    EXPECT_EQ(f->GetBoids().Size(), 3);
    f->Trigger(graph);
    EXPECT_EQ(c->GetTableIndex(), 1);
    EXPECT_EQ(late->GetTableIndex(), 2);
    EXPECT_TRUE(f->Sees(a, late));
}

TEST_F(FlockTest, FlockAndBoidsSaveTheirStateAndLoadBackEqual) {
    ASSERT_TRUE(Run("new('nlogicflock', '/usr/logic/school') sel('/usr/logic/school') setbb(-5, 0, -6, 5, 2, 6)"
                    " setdbgmode(true) new('nlogicboid', 'fish') sel('fish') txyz(1, 1, 0)"
                    " setwgtparams(2, 0.5, 0.25, 0.125, 0.75, 3) setparams(2, 0.25, 4, 0.5) setanimchn(0, 'swim')"));
    auto* school = static_cast<nLogicFlock*>(Lookup("/usr/logic/school"));
    ASSERT_TRUE(school->SaveAs(Path("school").c_str()));
    const std::string golden = std::string(std::getenv("BW_SOURCE_DIR")) + "/tests/logic/golden/flock_school.n";
    EXPECT_EQ(Slurp(Path("school.n")), Slurp(golden));

    school->Release();
    kernel->SetCwd(kernel->Lookup("/usr/logic"));
    auto* back = static_cast<nLogicFlock*>(kernel->Load(golden.c_str()));
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_EQ(back->GetExtent(), 12.0f);
    ASSERT_EQ(back->GetBoids().Size(), 1);
    nLogicBoid* fish = back->GetBoids().At(0);
    EXPECT_EQ(fish->GetParams()[3], 0.5f);
    EXPECT_EQ(fish->GetWeights()[5], 3.0f);
    ASSERT_TRUE(back->SaveAs(Path("again").c_str()));
    EXPECT_EQ(Slurp(Path("again.n")), Slurp(golden));
}

TEST_F(FlockTest, BoidsKeepTheirSpeedBandAndAnAloneBoidSteersByTheBoundaryAlone) {
    Flock();
    const float start[5][3] = {{0, 2, 0}, {1, 3, -1}, {-2, 2, 1}, {3, 4, 3}, {-1, 5, -4}};
    nLogicBoid* boids[5];
    for (int i = 0; i < 5; i++) {
        boids[i] = Boid(("/usr/logic/flock/b" + std::to_string(i)).c_str(), start[i][0], start[i][1], start[i][2]);
        boids[i]->SetParams(3.0f, 0.5f, 5.0f, 0.3f);
    }
    for (int frame = 0; frame < 120; frame++) {
        Frame(0.05f);
        for (nLogicBoid* b : boids) {
            const float speed = b->GetVelocity().Len();
            ASSERT_GE(speed, 1.0f - 1e-4f) << frame;
            ASSERT_LE(speed, 3.0f + 1e-4f) << frame;
        }
    }

    // Alone: no mate to part from, align with or gather at, and never a NaN.
    nLogicFlock* lone = Flock("/usr/logic/lone");
    nLogicBoid* b = Boid("/usr/logic/lone/b", 1, 2, 0);
    for (int frame = 0; frame < 20; frame++) {
        Frame(0.05f);
        EXPECT_EQ(b->separation, vector3());
        EXPECT_EQ(b->alignment, vector3());
        EXPECT_EQ(b->cohesion, vector3());
        ASSERT_TRUE(Finite(b->GetPosition()) && Finite(b->GetVelocity()));
    }
    // Past 0.95 R^2 (R = 10) it turns back and keeps returning until inside 0.8 R^2.
    EXPECT_FALSE(b->IsReturning());
    b->SetPosition(vector3(9.9f, 0, 0));
    Frame(0.05f);
    EXPECT_TRUE(b->IsReturning());
    b->SetPosition(vector3(9.2f, 0, 0));
    Frame(0.05f);
    EXPECT_TRUE(b->IsReturning());
    EXPECT_LT(b->boundary.x, 0.0f);
    b->SetPosition(vector3(8.5f, 0, 0));
    Frame(0.05f);
    EXPECT_FALSE(b->IsReturning());
    EXPECT_EQ(b->boundary.x, 0.0f);
    // The same place reached from inside has no boundary term.
    b->SetPosition(vector3(9.2f, 0, 0));
    Frame(0.05f);
    EXPECT_FALSE(b->IsReturning());
    EXPECT_EQ(lone->GetBoids().Size(), 1);
}

TEST_F(FlockTest, AContactOnTheRightTakesTheRightwardAccelerationForExactlyTheFramesOfContact) {
    Flock();
    nLogicBoid* a = Boid("/usr/logic/flock/a", 0, 2, 0);
    // A mate far to the right draws the boid that way.
    nLogicBoid* m = Boid("/usr/logic/flock/m", 8, 2, 0);
    for (nLogicBoid* b : {a, m}) b->SetParams(0.3f, 0.5f, 5.0f, 0.3f);
    ASSERT_TRUE(Run("sel('/usr/logic/flock/a') new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid')"
                    " setsphere(0.5) setdynamic(true) sel('..') addcollision('flee', 'shape')"
                    " new('nlogiccollision2', '/usr/logic/rock') sel('/usr/logic/rock') txyz(50, 2, 0)"
                    " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setsphere(0.5)"
                    " sel('..') addcollision('physik', 'shape') setcollcontext('physik', 'physik')"));
    auto* rock = static_cast<nLogicVisual2*>(Lookup("/usr/logic/rock"));
    Frame(0.05f);
    Frame(0.05f);
    EXPECT_GT(a->GetAcceleration().x, 0.0f);
    EXPECT_EQ(a->GetPush(), vector3());

    // The rock just right of the boid for three frames.
    for (int i = 0; i < 3; i++) {
        rock->SetPosition(a->GetPosition() + vector3(0.9f, 0, 0));
        Frame(0.05f);
        EXPECT_LE(a->GetAcceleration().x, 0.0f) << i;
        EXPECT_LT(a->GetPush().x, -0.99f) << i;
    }
    rock->SetPosition(vector3(50, 2, 0));
    Frame(0.05f);
    // The last push was used up by this frame's steering, and nothing new came.
    EXPECT_EQ(a->GetPush(), vector3());
    Frame(0.05f);
    EXPECT_GT(a->GetAcceleration().x, 0.0f);
}

TEST_F(FlockTest, ASchoolOfTwentyStaysFiniteAndNearItsFlockForThirtySeconds) {
    nLogicFlock* f = Flock();
    for (int i = 0; i < 20; i++) {
        const float x = float(nRandom::Next() % 1000) / 100.0f - 5.0f;
        const float y = float(nRandom::Next() % 500) / 100.0f + 1.0f;
        const float z = float(nRandom::Next() % 1000) / 100.0f - 5.0f;
        Boid(("/usr/logic/flock/f" + std::to_string(i)).c_str(), x, y, z);
    }
    const float limit = 1.5f * f->GetRadius();
    for (int frame = 0; frame < 900; frame++) {
        Frame(1.0f / 30.0f);
        for (int i = 0; i < f->GetBoids().Size(); i++) {
            nLogicBoid* b = f->GetBoids().At(i);
            ASSERT_TRUE(Finite(b->GetPosition()) && Finite(b->GetVelocity())) << frame;
            ASSERT_LE(b->GetPosition().Len(), limit) << frame;
        }
    }
}

TEST_F(FlockTest, ADyingFlockReleasesHeldBoidsOnceAndAStrayBoidNeitherJoinsNorSteers) {
    nLogicFlock* f = Flock();
    Boid("/usr/logic/flock/a", 0, 2, 0);
    nLogicBoid* held = Boid("/usr/logic/flock/held", 1, 2, 0);
    held->AddRef();
    nRef<nLogicBoid> watch(held);
    f->Release();
    EXPECT_FALSE(watch.IsValid());
    EXPECT_EQ(Lookup("/usr/logic/flock"), nullptr);

    nLogicBoid* stray = Boid("/usr/logic/stray", 1, 2, 3);
    EXPECT_EQ(stray->GetFlock(), nullptr);
    for (int i = 0; i < 3; i++) Frame(0.1f);
    EXPECT_EQ(stray->GetPosition(), vector3(1, 2, 3));
    int lines = 0;
    for (size_t at = log.text.find("must be an nlogicflock"); at != std::string::npos;
         at = log.text.find("must be an nlogicflock", at + 1)) {
        lines++;
    }
    EXPECT_EQ(lines, 1);
}

// A school that gains 100 boids every frame rebuilds its table in each of those frames.
// The rebuild must allocate the same few blocks at 600 boids as at 200: a table grown by
// a fixed step copies itself n^2/step times per rebuild, and the frames stop.
TEST_F(FlockTest, AFlockGrowingEveryFrameRebuildsItsTableWithoutGrowingAllocations) {
    if (!AllocationCount::Available()) GTEST_SKIP() << "allocations are counted in the sanitizer build";
    nLogicFlock* f = Flock();
    long atTwoHundred = -1, atSixHundred = -1;
    for (int step = 1; step <= 6; step++) {
        for (int i = 0; i < 100; i++) {
            const int k = (step - 1) * 100 + i;
            Boid(("/usr/logic/flock/g" + std::to_string(k)).c_str(), float(k % 17) - 8.0f, 1.0f + float(k % 5),
                 float(k % 13) - 6.0f);
        }
        ASSERT_TRUE(f->IsTableDirty());
        AllocationCount::Start();
        Frame(1.0f / 30.0f);
        const long allocations = AllocationCount::Stop();
        ASSERT_FALSE(f->IsTableDirty());
        ASSERT_EQ(f->GetTableSize(), step * 100);
        if (step == 2) atTwoHundred = allocations;
        if (step == 6) atSixHundred = allocations;
    }
    // 600 boids in a 64-entry step would be over 5,000 copies of the table.
    EXPECT_LE(atSixHundred, atTwoHundred + 16);
    EXPECT_LT(atSixHundred, 1000);
}

}  // namespace
