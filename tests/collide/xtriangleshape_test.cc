// The tree mesh "nxtriangleshape": its build, line checks, reports against boxes, spheres
// and meshes of its kind, the kinds it answers false to, and a context filing it.
#include "collide/nXTriangleShape.h"
#include "tests/collide/XCollideFixture.h"

namespace {

class XTriangleShapeTest : public XCollideFixture {
protected:
    nXTriangleShape* Make(const char* name) {
        return static_cast<nXTriangleShape*>(
            kernel->New("nxtriangleshape", (std::string("/sys/share/collideshapes/") + name).c_str()));
    }
    // Two triangles at y = 0 over [-5, 5] in x and z; the file's corners are stored
    // reversed, so the faces end up facing +Y.
    nXTriangleShape* Floor(const char* name) {
        const std::string path = Write(std::string(name) + ".n3d",
                                       "v -5 0 -5\nv -5 0 5\nv 5 0 5\nv 5 0 -5\nf 3 2 1\nf 4 3 1\n");
        nXTriangleShape* s = Make(name);
        EXPECT_TRUE(s->Load(path.c_str()));
        return s;
    }
    nXTriangleShape* OneTriangle(const char* name, const vector3& a, const vector3& b, const vector3& c) {
        nXTriangleShape* s = Make(name);
        s->BeginMesh(3, 1);
        s->SetVertex(0, a);
        s->SetVertex(1, b);
        s->SetVertex(2, c);
        EXPECT_TRUE(s->SetTriangle(0, 0, 1, 2));
        EXPECT_TRUE(s->EndMesh());
        return s;
    }
    static matrix44 At(const vector3& p) {
        matrix44 m;
        m.SetTranslation(p);
        return m;
    }
};

void ExpectNear(const vector3& got, const vector3& want, const char* what) {
    EXPECT_NEAR(got.x, want.x, 1e-5f) << what;
    EXPECT_NEAR(got.y, want.y, 1e-5f) << what;
    EXPECT_NEAR(got.z, want.z, 1e-5f) << what;
}

TEST_F(XTriangleShapeTest, BuildReversesCornersAndLoads) {
    nXTriangleShape* s = Make("t");
    EXPECT_EQ(s->GetType(), nCollideShape2::MESH);
    s->BeginMesh(4, 1);
    for (int i = 0; i < 4; i++) s->SetVertex(i, vector3(float(i), 0, float(i * i)));
    ASSERT_TRUE(s->SetTriangle(0, 1, 2, 3));
    const uint32_t* t = s->GetMesh().GetIndices(0);
    EXPECT_EQ(t[0], 3u);
    EXPECT_EQ(t[1], 2u);
    EXPECT_EQ(t[2], 1u);
    EXPECT_TRUE(s->EndMesh());
    EXPECT_TRUE(s->IsReady());
    EXPECT_EQ(s->GetMeshFile(), nullptr);

    // A corner outside the vertices is refused and the build fails.
    s->BeginMesh(3, 1);
    EXPECT_FALSE(s->SetTriangle(0, 0, 1, 3));
    EXPECT_FALSE(s->SetTriangle(0, -1, 1, 2));
    EXPECT_FALSE(s->EndMesh());
    EXPECT_FALSE(s->IsReady());
    EXPECT_FALSE(s->LineCheck(matrix44(), line3(vector3(0, 1, 0), vector3(0, -1, 0)), &Buffer(COLLTYPE_EXACT),
                              vector3()));

    nXTriangleShape* floor = Floor("floor");
    EXPECT_TRUE(floor->IsReady());
    EXPECT_EQ(floor->GetMesh().GetNumTriangles(), 2);
    EXPECT_NE(std::string(floor->GetMeshFile()).find("floor.n3d"), std::string::npos);
    EXPECT_NEAR(floor->GetRadius(), std::sqrt(50.0f), 1e-5f);
    // Missing file: false, the name still answered.
    nXTriangleShape* missing = Make("missing");
    EXPECT_FALSE(missing->Load("/nonexistent/none.n3d"));
    EXPECT_STREQ(missing->GetMeshFile(), "/nonexistent/none.n3d");
}

TEST_F(XTriangleShapeTest, LineChecks) {
    nXTriangleShape* floor = Floor("floor");
    const line3 down(vector3(1, 5, 2), vector3(1, -5, 2));
    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(floor->LineCheck(At(vector3(0, 2, 0)), down, &buf, vector3()));
    ASSERT_EQ(buf.numLineHits, 1);
    ExpectNear(buf.lineHits[0].position, vector3(1, 2, 2), "position");
    ExpectNear(buf.lineHits[0].normal, vector3(0, 1, 0), "normal");
    EXPECT_NEAR(buf.lineHits[0].value, 3.0f, 1e-5f);
    // From behind: culled. Too short: the line's length is the maximum distance.
    EXPECT_FALSE(floor->LineCheck(matrix44(), line3(vector3(1, -5, 2), vector3(1, 5, 2)), &Buffer(COLLTYPE_EXACT),
                                  vector3()));
    EXPECT_FALSE(floor->LineCheck(matrix44(), line3(vector3(1, 5, 2), vector3(1, 0.5f, 2)), &Buffer(COLLTYPE_EXACT),
                                  vector3()));
    // "contact" answers and writes nothing.
    nCollideReportBuffer& contact = Buffer(COLLTYPE_CONTACT);
    EXPECT_TRUE(floor->LineCheck(matrix44(), down, &contact, vector3()));
    EXPECT_EQ(contact.numLineHits, 0);

    // Turned upside down the floor faces -Y: the line from below hits, with the normal turned.
    matrix44 flip;
    flip.m[1][1] = -1;
    flip.m[2][2] = -1;
    nCollideReportBuffer& up = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(floor->LineCheck(flip, line3(vector3(1, -5, -2), vector3(1, 5, -2)), &up, vector3()));
    ASSERT_EQ(up.numLineHits, 1);
    ExpectNear(up.lineHits[0].normal, vector3(0, -1, 0), "turned normal");
    ExpectNear(up.lineHits[0].position, vector3(1, 0, -2), "turned position");
}

TEST_F(XTriangleShapeTest, SphereBoxAndMeshReports) {
    nXTriangleShape* floor = Floor("floor");
    // One report: the means over both touched triangles.
    nCollideReportBuffer& s = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(floor->Collide(matrix44(), Sphere(1), At(vector3(0, 0.5f, 0)), &s, vector3(), vector3()));
    ASSERT_EQ(s.numReports, 1);
    ExpectNear(s.reports[0].normal1, vector3(0, 1, 0), "n1");
    ExpectNear(s.reports[0].normal2, vector3(0, -1, 0), "n2");
    ExpectNear(s.reports[0].point2, vector3(0, -0.5f, 0), "p2");
    ExpectNear(s.reports[0].point1, vector3(0, 0, 0), "p1");
    EXPECT_NEAR(s.reports[0].depth, 0.5f, 1e-5f);
    EXPECT_FALSE(floor->Collide(matrix44(), Sphere(1), At(vector3(0, 1.5f, 0)), &Buffer(COLLTYPE_EXACT), vector3(),
                                vector3()));

    // A box sunk 0.1: its four lower corners in corner order, each on the plane.
    nCollideReportBuffer& b = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(floor->Collide(matrix44(), Box(1, 1, 1), At(vector3(0, 0.4f, 0)), &b, vector3(), vector3()));
    ASSERT_EQ(b.numReports, 4);
    const vector3 lower[4] = {{-0.5f, -0.1f, -0.5f}, {0.5f, -0.1f, -0.5f}, {-0.5f, -0.1f, 0.5f}, {0.5f, -0.1f, 0.5f}};
    for (int i = 0; i < 4; i++) {
        ExpectNear(b.reports[i].point2, lower[i], "corner");
        ExpectNear(b.reports[i].point1, lower[i] + vector3(0, 0.1f, 0), "projection");
        ExpectNear(b.reports[i].normal1, vector3(0, 1, 0), "n1");
        EXPECT_NEAR(b.reports[i].depth, 0.1f, 1e-5f);
    }

    // A vertical triangle through a flat one: two of its edges cross.
    nXTriangleShape* flat = OneTriangle("flat", vector3(-2, 0, -2), vector3(2, 0, -2), vector3(0, 0, 2));
    nXTriangleShape* wall = OneTriangle("wall", vector3(0, -1, 0), vector3(0, 1, -0.5f), vector3(0, 1, 0.5f));
    nCollideReportBuffer& m = Buffer(COLLTYPE_EXACT);
    m.reports[0].point2 = vector3(9, 9, 9);
    m.reports[0].depth = 7;
    ASSERT_TRUE(flat->Collide(matrix44(), wall, matrix44(), &m, vector3(), vector3()));
    ASSERT_EQ(m.numReports, 2);
    ExpectNear(m.reports[0].point1, vector3(0, 0, 0.25f), "first crossing");
    ExpectNear(m.reports[1].point1, vector3(0, 0, -0.25f), "second crossing");
    for (int i = 0; i < 2; i++) {
        ExpectNear(m.reports[i].point2, m.reports[i].point1, "point 2");
        EXPECT_EQ(m.reports[i].depth, 0.0f);
        ExpectNear(m.reports[i].normal1, vector3(0, 1, 0), "flat's normal");
        ExpectNear(m.reports[i].normal2, vector3(-1, 0, 0), "wall's normal");
    }

    // "contact" answers and writes nothing.
    nCollideReportBuffer& c = Buffer(COLLTYPE_CONTACT);
    EXPECT_TRUE(floor->Collide(matrix44(), Box(1, 1, 1), At(vector3(0, 0.4f, 0)), &c, vector3(), vector3()));
    EXPECT_TRUE(flat->Collide(matrix44(), wall, matrix44(), &c, vector3(), vector3()));
    EXPECT_EQ(c.numReports, 0);
}

TEST_F(XTriangleShapeTest, ManyCrossingsStopAtTheBuffer) {
    // Two stacks of 40 triangles crossing each other: 1600 touched pairs.
    auto stack = [&](const char* name, bool vertical) {
        nXTriangleShape* s = Make(name);
        s->BeginMesh(120, 40);
        for (int i = 0; i < 40; i++) {
            const float o = -1.0f + 0.05f * float(i);
            const vector3 a = vertical ? vector3(o, -2, -2) : vector3(-2, o, -2);
            const vector3 b = vertical ? vector3(o, -2, 2) : vector3(2, o, -2);
            const vector3 c = vertical ? vector3(o, 2, 0) : vector3(0, o, 2);
            s->SetVertex(3 * i, a);
            s->SetVertex(3 * i + 1, b);
            s->SetVertex(3 * i + 2, c);
            s->SetTriangle(i, 3 * i, 3 * i + 1, 3 * i + 2);
        }
        EXPECT_TRUE(s->EndMesh());
        return s;
    };
    nXTriangleShape* a = stack("a", false);
    nXTriangleShape* b = stack("b", true);
    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(a->Collide(matrix44(), b, matrix44(), &buf, vector3(), vector3()));
    EXPECT_EQ(buf.numReports, nCollideReportBuffer::MaxReports);
    for (int i = 0; i < buf.numReports; i++) EXPECT_TRUE(Finite(buf.reports[i]));
}

TEST_F(XTriangleShapeTest, OtherKindsAnswerFalse) {
    nXTriangleShape* floor = Floor("floor");
    nCollideShape2* records = XCollideFixture::Floor();
    const matrix44 near = At(vector3(0, 0.4f, 0));
    EXPECT_FALSE(Box(1, 1, 1)->Collide(near, floor, matrix44(), &Buffer(COLLTYPE_EXACT), vector3(), vector3()));
    EXPECT_FALSE(Sphere(1)->Collide(near, floor, matrix44(), &Buffer(COLLTYPE_EXACT), vector3(), vector3()));
    EXPECT_FALSE(floor->Collide(matrix44(), records, matrix44(), &Buffer(COLLTYPE_EXACT), vector3(), vector3()));
    EXPECT_FALSE(records->Collide(matrix44(), floor, matrix44(), &Buffer(COLLTYPE_EXACT), vector3(), vector3()));
    EXPECT_FALSE(floor->Collide(matrix44(), Cylinder(), near, &Buffer(COLLTYPE_EXACT), vector3(), vector3()));
    EXPECT_EXIT(floor->Collide(matrix44(), collide->NewShape(1, "quick"), near, &Buffer(COLLTYPE_EXACT), vector3(),
                               vector3()),
                ::testing::ExitedWithCode(3), "nXTriangleShape::Collide, no collision function aviable!");
}

TEST_F(XTriangleShapeTest, ContextFilesItAndLinesHitIt) {
    nCollideContext2* ctx = collide->NewContext("physik");
    TwoClasses(COLLTYPE_EXACT);
    nXTriangleShape* floor = Floor("floor");
    nXTriangleShape* flat = OneTriangle("flat", vector3(-2, 0, -2), vector3(2, 0, -2), vector3(0, 0, 2));
    nXTriangleShape* wall = OneTriangle("wall", vector3(0, -1, 0), vector3(0, 1, -0.5f), vector3(0, 1, 0.5f));

    struct Case {
        nCollideShape2* other;
        vector3 at;
        int reports;
    } cases[] = {{Box(1, 1, 1), vector3(0, 0.4f, 0), 4}, {Sphere(1), vector3(0, 0.5f, 0), 1}};
    for (const Case& k : cases) {
        collide->BeginFrame();
        nCollideObject2 mesh, other;
        Place(ctx, mesh, floor, 1, vector3(), true);
        Place(ctx, other, k.other, 0, k.at, true);
        collide->EndFrame();
        EXPECT_EQ(ctx->Collide(), k.reports) << k.other->GetName();
        EXPECT_EQ(mesh.contactCount, k.reports);
        if (ctx->GetNumReports() > 0) {
            EXPECT_EQ(ctx->GetReport(0).objA, &mesh);
        }
    }

    collide->BeginFrame();
    nCollideObject2 a, b;
    Place(ctx, a, flat, 0, vector3(), true);
    Place(ctx, b, wall, 1, vector3(), true);
    collide->EndFrame();
    EXPECT_EQ(ctx->Collide(), 2);

    collide->BeginFrame();
    nCollideObject2 hit;
    Place(ctx, hit, floor, 1, vector3(0, -1, 0), true);
    collide->EndFrame();
    nCollideLineHit** list = nullptr;
    ASSERT_EQ(ctx->LineCheck(line3(vector3(1, 5, 2), vector3(1, -5, 2)), 0, 0, list), 1);
    EXPECT_EQ(list[0]->object, &hit);
    ExpectNear(list[0]->position, vector3(1, -1, 2), "line hit");
}

}  // namespace
