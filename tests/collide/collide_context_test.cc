// Collide contexts: which pairs are checked, the sphere sweep, what is filed, queries,
// line checks, limits, objects that die, drawing.
#include "tests/collide/CollideFixture.h"

namespace {

class CollideContextTest : public CollideFixture {
protected:
    void SetUp() override {
        CollideFixture::SetUp();
        ctx = collide->NewContext("physik");
        collide->BeginFrame();
    }
    nCollideContext2* ctx = nullptr;
};

TEST_F(CollideContextTest, SweepSpheres) {
    float t0 = -1, t1 = -1;
    const vector3 none;
    // Touching at the start, without motion.
    EXPECT_TRUE(nCollideContext2::SweepSpheres(vector3(0, 0, 0), 1, none, vector3(2, 0, 0), 1, none, t0, t1));
    EXPECT_EQ(t0, 0.0f);
    EXPECT_EQ(t1, 0.0f);
    // Apart without relative motion: both moving alike.
    EXPECT_FALSE(nCollideContext2::SweepSpheres(vector3(0, 0, 0), 1, vector3(1, 0, 0), vector3(3, 0, 0), 1,
                                                vector3(1, 0, 0), t0, t1));
    // Meeting at 0.5 and parting only at 1.5: not in this step.
    EXPECT_FALSE(nCollideContext2::SweepSpheres(vector3(-2, 0, 0), 0.5f, vector3(2, 0, 0), vector3(0, 0, 0), 0.5f,
                                                none, t0, t1));
    EXPECT_FLOAT_EQ(t0, 0.5f);
    EXPECT_FLOAT_EQ(t1, 1.5f);
    // Meeting and parting within the step.
    EXPECT_TRUE(nCollideContext2::SweepSpheres(vector3(-2, 0, 0), 0.5f, vector3(4, 0, 0), vector3(0, 0, 0), 0.5f,
                                               none, t0, t1));
    EXPECT_FLOAT_EQ(t0, 0.25f);
    EXPECT_FLOAT_EQ(t1, 0.75f);
    // Passing by.
    EXPECT_FALSE(nCollideContext2::SweepSpheres(vector3(-2, 5, 0), 0.5f, vector3(4, 0, 0), vector3(0, 0, 0), 0.5f,
                                                none, t0, t1));
    EXPECT_EQ(nCollideContext2::PairKey(3, 7), nCollideContext2::PairKey(7, 3));
    EXPECT_EQ(nCollideContext2::PairKey(3, 7), (3u << 16) | 7u);
}

TEST_F(CollideContextTest, QuickHitFilesOnePair) {
    TwoClasses(COLLTYPE_QUICK);
    nTestShape* s = TestShape("s", 1.0f);
    nCollideObject2 a, b;
    Place(ctx, a, s, 0, vector3(0, 0, 0));
    Place(ctx, b, s, 1, vector3(1.5f, 0, 0));
    EXPECT_EQ(ctx->Collide(), 1);
    ASSERT_EQ(ctx->GetNumPairs(), 1);
    EXPECT_EQ(ctx->GetNumReports(), 0);
    EXPECT_EQ(ctx->GetPair(0).GetKind(), 0);
    EXPECT_EQ(a.pairCount, 1);
    EXPECT_EQ(b.pairCount, 1);
    EXPECT_TRUE(nTestShape::calls.empty());  // quick never asks the shapes
    // Collide starts over each time.
    a.ClearCounts();
    b.ClearCounts();
    EXPECT_EQ(ctx->Collide(), 1);
    EXPECT_EQ(a.pairCount, 1);
}

TEST_F(CollideContextTest, ExactHitFilesEveryReport) {
    TwoClasses(COLLTYPE_EXACT);
    nTestShape* s = TestShape("s", 1.0f);
    s->reports = 3;
    nCollideObject2 a, b, c;
    Place(ctx, a, s, 0, vector3(0, 0, 0));
    Place(ctx, b, s, 1, vector3(1.5f, 0, 0));
    Place(ctx, c, s, 1, vector3(100, 0, 0));  // too far for the sweep
    EXPECT_EQ(ctx->Collide(), 3);
    ASSERT_EQ(ctx->GetNumReports(), 3);
    EXPECT_EQ(ctx->GetNumPairs(), 0);
    for (int i = 0; i < 3; i++) {
        const nCollideReport& r = ctx->GetReport(i);
        EXPECT_EQ(r.GetKind(), 1);
        EXPECT_EQ(r.objA, &a);
        EXPECT_EQ(r.objB, &b);
        EXPECT_EQ(r.point1.x, float(i));  // buffer order kept
    }
    EXPECT_EQ(a.contactCount, 3);
    EXPECT_EQ(b.contactCount, 3);
    EXPECT_EQ(c.contactCount, 0);
    // The pair is tested once: its reverse visit finds the reports filed.
    EXPECT_EQ(nTestShape::calls.size(), 1u);

    // "contact" files one pair record from the same test.
    TwoClasses(COLLTYPE_CONTACT);
    a.ClearCounts();
    b.ClearCounts();
    EXPECT_EQ(ctx->Collide(), 1);
    EXPECT_EQ(ctx->GetNumPairs(), 1);
    EXPECT_EQ(a.pairCount, 1);
    EXPECT_EQ(a.contactCount, 0);
    // A shape test that finds nothing files nothing.
    s->hit = false;
    EXPECT_EQ(ctx->Collide(), 0);
}

TEST_F(CollideContextTest, SameOwnerAndStaticPairsAreNeverChecked) {
    TwoClasses(COLLTYPE_QUICK, COLLTYPE_EXACT);
    nTestShape* s = TestShape("s", 1.0f);
    int owner = 0;
    nCollideObject2 a, b, s1, s2;
    Place(ctx, a, s, 0, vector3(0, 0, 0), true, vector3(), &owner);
    Place(ctx, b, s, 1, vector3(0.5f, 0, 0), true, vector3(), &owner);
    Place(ctx, s1, s, 0, vector3(10, 0, 0), false);
    Place(ctx, s2, s, 0, vector3(10.5f, 0, 0), false);
    EXPECT_EQ(ctx->Collide(), 0);
    EXPECT_TRUE(nTestShape::calls.empty());
    EXPECT_EQ(ctx->GetNumStatic(), 2);
    EXPECT_EQ(ctx->GetNumDynamic(), 2);
}

TEST_F(CollideContextTest, ContextCreatedLastIsCheckedFirst) {
    TwoClasses(COLLTYPE_EXACT);
    nCollideContext2* later = collide->NewContext("trigger");
    nTestShape* s = TestShape("s", 1.0f);
    collide->BeginFrame();
    nCollideObject2 a, b, c, d;
    Place(ctx, a, s, 0, vector3());
    Place(ctx, b, s, 1, vector3(1, 0, 0));
    Place(later, c, s, 0, vector3());
    Place(later, d, s, 1, vector3(1, 0, 0));
    EXPECT_NE(a.id, c.id);  // ids are unique over all contexts of the frame
    collide->Collide();
    EXPECT_EQ(nTestShape::calls, (std::vector<std::string>{"trigger", "physik"}));
}

TEST_F(CollideContextTest, RadiusOnlyShapesInExactPairsAreReportedOnce) {
    TwoClasses(COLLTYPE_EXACT);
    nCollideShape2* q = collide->NewShape(1, "quick_1");
    q->SetQuickRadius(1.0f);
    nCollideObject2 a, b;
    Place(ctx, a, q, 0, vector3());
    Place(ctx, b, q, 1, vector3(1, 0, 0));
    log.text.clear();
    EXPECT_EQ(ctx->Collide(), 0);
    EXPECT_TRUE(LogHas("no exact collision function aviable for simple collision"));
    log.text.clear();
    EXPECT_EQ(ctx->Collide(), 0);
    EXPECT_FALSE(LogHas("aviable"));
    q->Release();
}

TEST_F(CollideContextTest, QueriesSelectByModuleState) {
    TwoClasses(COLLTYPE_QUICK, COLLTYPE_EXACT);
    nTestShape* s = TestShape("s", 1.0f);
    s->reports = 2;
    auto* stateA = reinterpret_cast<nModuleState*>(0x1000);
    auto* stateB = reinterpret_cast<nModuleState*>(0x2000);
    nCollideObject2 a1, a2, b;
    a1.state = stateA;
    a2.state = stateA;
    b.state = stateB;
    Place(ctx, a1, s, 0, vector3());
    Place(ctx, a2, s, 0, vector3(0.5f, 0, 0));  // exact with a1
    Place(ctx, b, s, 1, vector3(-1, 0, 0));     // quick with both
    ctx->Collide();
    nCollidePair** pairs = nullptr;
    nCollideReport** reports = nullptr;
    EXPECT_EQ(ctx->GetCollisions(stateB, pairs), 2);
    EXPECT_EQ(ctx->GetCollisions(stateA, pairs), 2);
    EXPECT_EQ(ctx->GetContacts(stateA, reports), 2);
    EXPECT_EQ(reports[0]->objA->state, stateA);
    EXPECT_EQ(ctx->GetContacts(stateB, reports), 0);
}

TEST_F(CollideContextTest, QueriesLookAtEveryRecord) {
    // 40 objects all touching: 780 pairs. A state on the last pair is still found, and a
    // query answers at most 255.
    TwoClasses(COLLTYPE_QUICK, COLLTYPE_QUICK);
    nTestShape* s = TestShape("s", 10.0f);
    std::vector<nCollideObject2> objs(40);
    auto* late = reinterpret_cast<nModuleState*>(0x3000);
    auto* all = reinterpret_cast<nModuleState*>(0x4000);
    for (size_t i = 0; i < objs.size(); i++) {
        objs[i].state = i >= 38 ? late : all;
        Place(ctx, objs[i], s, 0, vector3(float(i) * 0.01f, 0, 0));
    }
    EXPECT_EQ(ctx->Collide(), 40 * 39 / 2);
    nCollidePair** list = nullptr;
    int n = ctx->GetCollisions(late, list);
    EXPECT_EQ(n, 2 * 38 + 1);
    EXPECT_EQ(ctx->GetCollisions(all, list), 255);
}

TEST_F(CollideContextTest, LineChecks) {
    // Objects of class a: a ray of class b checks them "exact", one of class a "contact".
    TwoClasses(COLLTYPE_EXACT, COLLTYPE_CONTACT);
    nTestShape* s = TestShape("s", 1.0f);
    s->lineHits = {vector3(0, 0.5f, 0), vector3(0, -0.5f, 0)};
    nCollideObject2 near, far, other;
    Place(ctx, far, s, 0, vector3(0, -5, 0), false);
    Place(ctx, near, s, 0, vector3(0, -2, 0), false);
    Place(ctx, other, s, 0, vector3(5, 0, 0));  // off the line
    const line3 down(vector3(0, 0, 0), vector3(0, -10, 0));
    nCollideLineHit** list = nullptr;
    // Every hit, in object order.
    ASSERT_EQ(ctx->LineCheck(down, 1, 0, list), 4);
    EXPECT_EQ(list[0]->object, &far);
    EXPECT_EQ(list[2]->object, &near);
    EXPECT_EQ(list[0]->position, vector3(0, -4.5f, 0));
    // Only the nearest.
    ASSERT_EQ(ctx->LineCheck(down, 1, 2, list), 1);
    EXPECT_EQ(list[0]->object, &near);
    EXPECT_EQ(list[0]->position, vector3(0, -1.5f, 0));
    EXPECT_EQ(list[1], nullptr);
    // A "contact" line keeps the first hit of each object.
    ASSERT_EQ(ctx->LineCheck(down, 0, 0, list), 2);
    EXPECT_EQ(list[0]->position, vector3(0, -4.5f, 0));
    EXPECT_EQ(list[1]->position, vector3(0, -1.5f, 0));
    // No hits: nothing in the list.
    const line3 away(vector3(0, 0, 0), vector3(0, 10, 0));
    EXPECT_EQ(ctx->LineCheck(away, 1, 2, list), 0);
    EXPECT_EQ(list[0], nullptr);
    EXPECT_EQ(ctx->LineCheck(away, 1, 0, list), 0);
    // A class that ignores the objects hits nothing.
    EXPECT_EQ(ctx->LineCheck(down, -1, 0, list), 0);
}

TEST_F(CollideContextTest, RegistrationBeyondTheTablesIsRefused) {
    TwoClasses(COLLTYPE_QUICK);
    nTestShape* s = TestShape("s", 1.0f);
    std::vector<nCollideObject2> dyn(256), sta(356);
    log.text.clear();
    for (auto& o : dyn) Place(ctx, o, s, 0, vector3());
    for (auto& o : sta) Place(ctx, o, s, 1, vector3(), false);
    EXPECT_EQ(ctx->GetNumDynamic(), 255);
    EXPECT_EQ(ctx->GetNumStatic(), 355);
    EXPECT_TRUE(LogHas("more than 255 dynamic objects"));
    EXPECT_FALSE(LogHas("more than 355 static objects"));  // once a frame
    collide->BeginFrame();
    log.text.clear();
    for (auto& o : sta) Place(ctx, o, s, 1, vector3(), false);
    EXPECT_TRUE(LogHas("more than 355 static objects"));
    EXPECT_EQ(ctx->GetNumDynamic(), 0);
}

TEST_F(CollideContextTest, ObjectsThatDieLeaveTablesAndResults) {
    TwoClasses(COLLTYPE_QUICK, COLLTYPE_EXACT);
    nTestShape* s = TestShape("s", 1.0f);
    s->lineHits = {vector3()};
    nCollideObject2 keep, other;
    auto* dying = new nCollideObject2;
    auto* dying2 = new nCollideObject2;
    Place(ctx, keep, s, 0, vector3());
    Place(ctx, *dying, s, 0, vector3(0.5f, 0, 0));
    Place(ctx, *dying2, s, 1, vector3(0, 0.5f, 0));
    Place(ctx, other, s, 1, vector3(0, -0.5f, 0));
    EXPECT_EQ(ctx->Collide(), 5);  // 1 exact report, 4 quick pairs
    nCollideLineHit** lines = nullptr;
    EXPECT_EQ(ctx->LineCheck(line3(vector3(-5, 0, 0), vector3(5, 0, 0)), -2, 0, lines), 4);
    delete dying;
    EXPECT_EQ(ctx->GetNumDynamic(), 3);
    EXPECT_EQ(ctx->GetNumReports(), 0);
    EXPECT_EQ(ctx->GetNumPairs(), 2);
    collide->BeginFrame();  // tables emptied, results kept until the next Collide
    delete dying2;
    EXPECT_EQ(ctx->GetNumPairs(), 1);
    for (int i = 0; i < ctx->GetNumPairs(); i++) {
        EXPECT_NE(ctx->GetPair(i).objA, dying2);
        EXPECT_NE(ctx->GetPair(i).objB, dying2);
    }
    nRecordGfx* gfx = Gfx();
    ctx->Visualize(gfx);  // draws the two surviving line hits
    EXPECT_EQ(gfx->prims.back().coords.size(), 2u * 8u);
}

TEST_F(CollideContextTest, DrawsObjectsReportsAndLineHits) {
    TwoClasses(COLLTYPE_EXACT);
    nTestShape* s = TestShape("s", 1.0f);
    s->reports = 1;
    nCollideObject2 a, b, idle;
    Place(ctx, a, s, 0, vector3(0, 0, 0), true, vector3(0, 1, 0));
    Place(ctx, b, s, 1, vector3(0.5f, 0, 0));
    Place(ctx, idle, s, 0, vector3(50, 0, 0), false);
    idle.debugColor[0] = 0.25f;
    ctx->Collide();
    nRecordGfx* gfx = Gfx();
    matrix44 view;
    view.SetTranslation(vector3(0, 0, -10));
    gfx->SetMatrix(nGfxServer::VIEWER, view);
    ctx->Visualize(gfx);
    // Per object: the motion line, then the shape's circles; then the reports.
    ASSERT_EQ(gfx->prims.size(), 3u * 2u + 1u);
    const auto& motion = gfx->prims[0];
    EXPECT_EQ(motion.kind, 3);
    EXPECT_TRUE(motion.model.isequal(gfx->GetMatrix(nGfxServer::INVVIEWER), 0));
    EXPECT_EQ(motion.coords[1], vector3(0, 1, 0));
    EXPECT_EQ(motion.colors[0], (std::array<float, 4>{1, 1, 1, 1}));
    EXPECT_EQ(motion.colors[1], (std::array<float, 4>{1, 0, 0, 1}));
    EXPECT_EQ(motion.endColor, (std::array<float, 4>{0, 0.7f, 0, 1}));  // it was hit
    EXPECT_EQ(gfx->prims[1].coords.size(), 3u * 72u * 2u);
    EXPECT_TRUE(gfx->prims[1].model.isequal(a.curMatrix * gfx->GetMatrix(nGfxServer::INVVIEWER), 1e-6f));
    EXPECT_EQ(gfx->prims[4].endColor[0], 0.25f);  // not hit: its own colour
    const auto& reports = gfx->prims[6];
    ASSERT_EQ(reports.coords.size(), 16u);  // two crosses and two needles
    EXPECT_EQ(reports.colors[0], (std::array<float, 4>{1, 1, 0, 1}));
    EXPECT_EQ(reports.coords[7], vector3(0, -0.5f, 0));  // point 1 + normal 1 * depth
}

TEST_F(CollideContextTest, ObjectWithoutShapeStops) {
    TwoClasses(COLLTYPE_QUICK);
    nTestShape* s = TestShape("s", 1.0f);
    nCollideObject2 a, b;
    Place(ctx, a, s, 0, vector3());
    Place(ctx, b, nullptr, 1, vector3());
    EXPECT_EXIT(ctx->Collide(), ::testing::ExitedWithCode(3), "Aborting.");
}

}  // namespace
