// The simple collide server: its commands, shared shapes, the x-sorted sweep of its
// persistent contexts, the pair tests and the queries.
#include "collide/nCollideContext.h"
#include "collide/nCollideObject.h"
#include "collide/nCollideServer.h"
#include "collide/nCollideShape.h"
#include "kernel/nFileServer2.h"
#include "tests/collide/CollideFixture.h"

namespace {

// Counts its exact tests and reports `reports` records at each; a line through its
// object's position hits it there.
class CountingShape : public nCollideShape {
public:
    explicit CountingShape(float r) : nCollideShape("counting") { SetRadius(r); }
    int Collide(nCollType, const matrix44& m, nCollideShape*, const matrix44&, nCollisionRecord* out,
                int maxRecords) override {
        calls++;
        positions.push_back(m.Translation());
        int n = reports < maxRecords ? reports : maxRecords;
        for (int i = 0; i < n; i++) out[i].point = m.Translation();
        return n;
    }
    bool LineCheck(const matrix44& m, const line3&, nCollisionRecord& rec) override {
        rec.point = m.Translation();
        return true;
    }
    int calls = 0;
    int reports = 0;
    std::vector<vector3> positions;
};

matrix44 At(float x, float y, float z) {
    matrix44 m;
    m.SetTranslation(vector3(x, y, z));
    return m;
}

class SimpleCollideTest : public CollideFixture {
protected:
    void SetUp() override {
        CollideFixture::SetUp();
        server = static_cast<nCollideServer*>(kernel->New("ncollideserver", "/sys/servers/collide"));
        ctx = server->GetDefaultContext();
    }
    void Classes(nCollType ab) {
        server->BeginCollClasses();
        server->AddCollClass("a");
        server->AddCollClass("b");
        server->EndCollClasses();
        server->BeginCollTypes();
        server->AddCollType("a", "b", ab);
        server->EndCollTypes();
    }
    nCollideObject* Obj(nCollideShape* shape, int cls, const matrix44& m, bool attach = true) {
        nCollideObject* o = ctx->NewObject();
        o->SetShape(shape);
        o->SetClass(cls);
        o->SetTransform(0, m);
        if (attach) ctx->AddObject(o);
        return o;
    }
    // The x keys of the sorted list, in order.
    std::vector<float> Keys() {
        std::vector<float> keys;
        for (nNode* n = ctx->GetAxisList().GetHead(); n; n = n->GetSucc()) {
            keys.push_back(static_cast<nCollideObject::Marker*>(n->GetPtr())->key);
        }
        return keys;
    }
    nCollideServer* server = nullptr;
    nCollideContext* ctx = nullptr;
};

TEST_F(SimpleCollideTest, CommandsShareTheClassRulesButTakeAnyTypeTextAsExact) {
    ASSERT_TRUE(Run("c = obj('/sys/servers/collide'); c.begincollclasses(); c.addcollclass('a');"
                    "c.addcollclass('b'); c.addcollclass('a'); c.endcollclasses(); c.begincolltypes();"
                    "c.addcolltype('a', 'b', 'quick'); c.addcolltype('a', 'a', 'whatever');"
                    "c.addcolltype('b', 'b', 'contact'); c.endcolltypes()"));
    EXPECT_EQ(server->GetNumCollClasses(), 2);
    EXPECT_EQ(Eval("c.querycolltype('b', 'a')"), "quick");
    EXPECT_EQ(Eval("c.querycolltype('a', 'a')"), "exact");
    EXPECT_EQ(Eval("c.querycolltype('b', 'b')"), "contact");
    EXPECT_FALSE(LogHas("unknown collision type"));
    // An unknown class is logged and collides with nothing.
    EXPECT_EQ(server->QueryCollClass("nope"), -1);
    EXPECT_TRUE(LogHas("unknown collision class 'nope'"));
    EXPECT_EQ(Eval("c.querycolltype('nope', 'a')"), "ignore");
    EXPECT_EQ(server->GetCollType(-2, 0), COLLTYPE_QUICK);
}

TEST_F(SimpleCollideTest, ShapesAreSharedByNameAndCounted) {
    nCollideShape* a = server->NewShape(6, "meshes/rock.n3d");
    nCollideShape* b = server->NewShape(6, "meshes/rock.n3d");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_STREQ(a->GetName(), "meshes_rock_n3d");
    nCollideShape* r0 = server->NewShape(6, nullptr);
    nCollideShape* r1 = server->NewShape(6, nullptr);
    EXPECT_STREQ(r0->GetName(), "res0");
    EXPECT_STREQ(r1->GetName(), "res1");
    server->ReleaseShape(a);
    EXPECT_EQ(server->FindShape("meshes_rock_n3d"), b);
    server->ReleaseShape(b);
    EXPECT_EQ(server->FindShape("meshes_rock_n3d"), nullptr);

    // Load reads through the given file server; the radius is the farthest vertex.
    std::string path = Write("rock.n3d", "v 0 0 0\nv 3 4 0\nv 1 0 0\nf 1 2 3\n");
    auto* fs = kernel->GetFileServer<nFileServer2>();
    EXPECT_FALSE(r0->IsReady());
    EXPECT_TRUE(r0->Load(fs, path.c_str()));
    EXPECT_TRUE(r0->IsReady());
    EXPECT_FLOAT_EQ(r0->GetRadius(), 5.0f);
    EXPECT_STREQ(r0->GetFileName(), path.c_str());
    EXPECT_FALSE(r1->Load(fs, Path("missing.n3d").c_str()));
    EXPECT_FALSE(r1->IsReady());
    EXPECT_FALSE(r1->Load(fs, "rock.obj"));
    EXPECT_TRUE(LogHas("neither a .n3d nor a .nvx"));
    // The cylinder rule: the larger of r + l / 2 and r.
    const float cyl[2] = {1.0f, -4.0f};
    r1->SetCylinderParams(cyl);
    EXPECT_FLOAT_EQ(r1->GetRadius(), 1.0f);
}

TEST_F(SimpleCollideTest, TransformsFollowTheTimeRulesAndKeepTheAxisSorted) {
    CountingShape shape(1.0f);
    nCollideObject* o = Obj(&shape, 0, At(5, 0, 0));
    // First transform: both matrices are the new one.
    EXPECT_EQ(o->GetPrevMatrix().Translation().x, 5.0f);
    o->SetTransform(1.0, At(6, 0, 0));
    o->SetTransform(2.0, At(8, 0, 0));
    EXPECT_EQ(o->GetPrevMatrix().Translation().x, 6.0f);
    EXPECT_EQ(o->GetMatrix().Translation().x, 8.0f);
    EXPECT_EQ(o->GetPrevTime(), 1.0);
    // The box spans both positions, grown by the radius.
    EXPECT_EQ(o->GetBoxMin().x, 5.0f);
    EXPECT_EQ(o->GetBoxMax().x, 9.0f);
    EXPECT_EQ(o->GetBoxMin().y, -1.0f);
    // The same time again: both matrices jump to the new one.
    o->SetTransform(2.0, At(-3, 0, 0));
    EXPECT_EQ(o->GetPrevMatrix().Translation().x, -3.0f);

    nCollideObject* p = Obj(&shape, 0, At(0, 0, 0));
    nCollideObject* q = Obj(&shape, 0, At(10, 0, 0));
    EXPECT_EQ(Keys(), (std::vector<float>{-4, -2, -1, 1, 9, 11}));
    q->SetTransform(0, At(-10, 0, 0));
    p->SetTransform(0, At(-3.5f, 0, 0));
    EXPECT_EQ(Keys(), (std::vector<float>{-11, -9, -4.5f, -4, -2.5f, -2}));
    ctx->ResetTransforms();
    EXPECT_EQ(p->GetPrevMatrix().Translation().x, 0.0f);
    EXPECT_EQ(o->GetMatrix().Translation().x, 0.0f);
    ctx->RemoveObject(q);
    EXPECT_EQ(Keys().size(), 4u);
}

TEST_F(SimpleCollideTest, OnlyAttachedObjectsOverlappingOnXAreCompared) {
    Classes(COLLTYPE_EXACT);
    CountingShape a(1.0f), b(1.0f), c(1.0f), far(1.0f), loose(1.0f);
    Obj(&a, 0, At(0, 0, 0));
    Obj(&b, 1, At(1.5f, 0, 0));
    // Overlaps on y and z with everything but lies apart on x.
    Obj(&far, 1, At(10, 0, 0));
    // Overlaps on x, apart on y: met in the sweep, refused by the box test.
    Obj(&c, 1, At(0, 5, 0));
    nCollideObject* l = Obj(&loose, 1, At(0, 0, 0), false);
    EXPECT_EQ(ctx->Collide(), 0);
    // The pair a-b only, tested from one side.
    EXPECT_EQ(a.calls + b.calls, 1);
    EXPECT_EQ(far.calls + c.calls + loose.calls, 0);
    // Objects stay attached: a second Collide compares the same pair again.
    EXPECT_EQ(ctx->Collide(), 0);
    EXPECT_EQ(a.calls + b.calls, 2);
    EXPECT_FALSE(l->IsAttached());
    nCollisionRecord** list = nullptr;
    EXPECT_EQ(ctx->GetCollisions(l, list), 0);
}

TEST_F(SimpleCollideTest, QuickPairGivesOneRecordWithPointNormalAndTime) {
    Classes(COLLTYPE_QUICK);
    CountingShape sa(1.0f), sb(1.0f);
    nCollideObject* a = Obj(&sa, 0, At(0, 0, 0));
    nCollideObject* b = Obj(&sb, 1, At(10, 0, 0));
    a->SetTransform(1.0, At(0, 0, 0));
    b->SetTransform(1.0, At(10, 0, 0));
    // B sweeps through A between times 1 and 3: touching at a quarter of the step.
    a->SetTransform(3.0, At(0, 0, 0));
    b->SetTransform(3.0, At(-6, 0, 0));
    ASSERT_EQ(ctx->Collide(), 1);
    const nCollisionRecord& r = ctx->GetRecord(0);
    EXPECT_TRUE((r.objA == a && r.objB == b) || (r.objA == b && r.objB == a));
    nCollideObject* first = r.objA;
    float sign = first == a ? 1.0f : -1.0f;
    EXPECT_NEAR(r.normal.x, sign, 1e-5f);
    EXPECT_NEAR(r.normal2.x, -sign, 1e-5f);
    EXPECT_NEAR(r.time, 1.0 + 2.0 * 0.5, 1e-4);  // |10 - 2| / 16 = 0.5 of the step
    vector3 centre = first == a ? vector3(0, 0, 0) : vector3(2, 0, 0);
    EXPECT_NEAR(r.point.x, centre.x + sign, 1e-4f);
    EXPECT_EQ(a->GetNumCollisions(), 1);
    nCollisionRecord** list = nullptr;
    ASSERT_EQ(ctx->GetCollisions(b, list), 1);
    EXPECT_EQ(list[0], &ctx->GetRecord(0));
    // Coincident centres: the normal falls back to +y.
    a->SetTransform(4.0, At(0, 0, 0));
    b->SetTransform(4.0, At(0, 0, 0));
    a->SetTransform(4.0, At(0, 0, 0));
    b->SetTransform(4.0, At(0, 0, 0));
    ASSERT_EQ(ctx->Collide(), 1);
    EXPECT_EQ(ctx->GetRecord(0).normal.y, 1.0f);
    // Same owner: never a pair.
    a->SetOwnerId(7);
    b->SetOwnerId(7);
    EXPECT_EQ(ctx->Collide(), 0);
}

TEST_F(SimpleCollideTest, ExactPairsRunSubStepsThroughTheShape) {
    Classes(COLLTYPE_CONTACT);
    CountingShape sa(1.0f), sb(2.0f);
    sa.reports = 2;
    sb.reports = 2;
    nCollideObject* a = Obj(&sa, 0, At(0, 0, 0));
    nCollideObject* b = Obj(&sb, 1, At(1, 0, 0));
    a->SetTransform(1.0, At(0, 0, 0));
    b->SetTransform(1.0, At(1, 0, 0));
    // A moves 0.5: 4 eighths of its radius; B moves 1: 4 eighths of its own.
    a->SetTransform(2.0, At(0.5f, 0, 0));
    b->SetTransform(2.0, At(2, 0, 0));
    EXPECT_EQ(ctx->Collide(), 8);
    CountingShape& tested = sa.calls ? sa : sb;
    ASSERT_EQ(tested.calls, 4);
    EXPECT_EQ(sa.calls + sb.calls, 4);
    // Previous position and three of four steps; the current one is not tested.
    EXPECT_FLOAT_EQ(tested.positions[3].x, &tested == &sa ? 0.375f : 1.75f);
    EXPECT_EQ(a->GetNumCollisions(), 8);
    EXPECT_NEAR(ctx->GetRecord(7).time, 1.75, 1e-9);
    // A radius of 0 takes one sub-step; a teleport is capped.
    CountingShape z(0.0f);
    a->SetShape(&z);
    b->SetShape(&z);
    a->SetTransform(2.0, At(0, 0, 0));
    b->SetTransform(2.0, At(0, 0, 0));
    EXPECT_EQ(ctx->Collide(), 0);
    EXPECT_EQ(z.calls, 1);
    CountingShape tiny(1e-6f);
    a->SetShape(&tiny);
    b->SetShape(&tiny);
    a->SetTransform(3.0, At(1000, 0, 0));
    b->SetTransform(3.0, At(1000, 0, 0));
    ctx->Collide();
    EXPECT_EQ(tiny.calls, nCollideContext::MaxSubSteps);
}

TEST_F(SimpleCollideTest, SphereAndLineQueries) {
    Classes(COLLTYPE_QUICK);
    CountingShape s(1.0f);
    Obj(&s, 1, At(0, 0, 0));
    Obj(&s, 1, At(5, 0, 0));
    nCollideObject* c = Obj(&s, 0, At(10, 0, 0));  // "a" against "a" is ignored
    nCollisionRecord** list = nullptr;
    EXPECT_EQ(ctx->SphereCheck(vector3(2.5f, 0, 0), 1.6f, 0, 0, list), 2);
    EXPECT_EQ(ctx->SphereCheck(vector3(2.5f, 0, 0), 1.4f, 0, 0, list), 0);
    // Moving from the far left through both: mode 2 keeps the nearer one.
    ASSERT_EQ(ctx->MovingSphereCheck(vector3(-10, 0, 0), 0.5f, vector3(20, 0, 0), 0, 0, list), 2);
    ASSERT_EQ(ctx->MovingSphereCheck(vector3(-10, 0, 0), 0.5f, vector3(20, 0, 0), 0, 2, list), 1);
    EXPECT_NEAR(list[0]->point.x, -1.0f, 1e-4f);
    EXPECT_EQ(list[0]->normal.x, 1.0f);
    EXPECT_NE(list[0]->objA, c);
    // Lines ask the shapes: mode 1 stops at the first, mode 2 keeps the nearest.
    line3 line(vector3(20, 0, 0), vector3(-20, 0, 0));
    Classes(COLLTYPE_EXACT);
    EXPECT_EQ(ctx->LineCheck(line, 0, 0, list), 2);
    EXPECT_EQ(ctx->LineCheck(line, 1, 0, list), 1);
    ASSERT_EQ(ctx->LineCheck(line, 2, 0, list), 1);
    EXPECT_EQ(list[0]->point.x, 5.0f);
}

}  // namespace
