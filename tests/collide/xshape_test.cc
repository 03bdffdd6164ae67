// The exact shapes: made by type, the pair-test dispatch, line checks, meshes, drawing.
#include <cstring>

#include "collide/nCollideGeometry.h"
#include "collide/nXBoxShape.h"
#include "collide/nXCollideServer.h"
#include "collide/nXCylinderShape.h"
#include "collide/nXSphereShape.h"
#include "collide/nXTriangleShape2.h"
#include "tests/collide/XCollideFixture.h"

namespace {

using XShapeTest = XCollideFixture;

TEST_F(XShapeTest, NewShapeMakesTheClassOfItsType) {
    nCollideShape2* box = collide->NewShape(2, "boxes/crate.n3d");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Lookup("/sys/share/collideshapes/boxes_crate_n3d"), box);
    EXPECT_STREQ(box->GetClass()->GetName(), "nxboxshape");
    EXPECT_EQ(collide->NewShape(2, "boxes/crate.n3d"), box);
    EXPECT_EQ(box->GetRefCount(), 2);
    // A name taken is handed out whatever type is asked for.
    EXPECT_EQ(collide->NewShape(3, "boxes/crate.n3d"), box);
    EXPECT_STREQ(collide->NewShape(3, "s")->GetClass()->GetName(), "nxsphereshape");
    EXPECT_STREQ(collide->NewShape(4, "c")->GetClass()->GetName(), "nxcylindershape");
    EXPECT_STREQ(collide->NewShape(5, "m")->GetClass()->GetName(), "nxtriangleshape2");
    EXPECT_STREQ(collide->NewShape(1, "q")->GetClass()->GetName(), "ncollideshape2");
    EXPECT_EQ(collide->NewShape(5, "m")->GetType(), 5);
    EXPECT_EQ(Box(1, 1, 1)->GetBoxSides(), vector3(1, 1, 1));
    float cyl[2];
    Cylinder()->GetCylinderParams(cyl);
    EXPECT_EQ(cyl[0], 1.0f);
    EXPECT_EQ(cyl[1], 2.0f);
    EXPECT_EXIT(collide->NewShape(6, "x"), ::testing::ExitedWithCode(3),
                "nXCollideServer::NewShape , unknown collideshape type!");
}

TEST_F(XShapeTest, DispatchTable) {
    // Every pair overlapping at the origin; which ones have a test?
    nCollideShape2* shapes[4] = {Box(1, 1, 1), Sphere(1), Cylinder(), Floor()};
    const matrix44 ident;
    const bool expected[4][4] = {
        {true, true, false, true},     // box: box, sphere, -, mesh
        {true, true, false, true},     // sphere
        {false, false, false, false},  // cylinder
        {false, false, false, false},  // mesh
    };
    log.text.clear();
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) {
            nCollideReportBuffer& buf = Buffer(COLLTYPE_CONTACT);
            const vector3 down(0, -0.3f, 0);
            matrix44 above;
            above.SetTranslation(vector3(0.1f, 0.4f, 0.1f));
            EXPECT_EQ(shapes[i]->Collide(above, shapes[j], ident, &buf, down, vector3()), expected[i][j])
                << i << " against " << j;
        }
    }
    EXPECT_TRUE(log.text.empty());
    EXPECT_FALSE(Cylinder()->LineCheck(ident, line3(vector3(0, 5, 0), vector3(0, -5, 0)), &Buffer(COLLTYPE_EXACT),
                                       vector3()));
    nCollideShape2* quick = collide->NewShape(1, "quick");
    quick->SetQuickRadius(1);
    EXPECT_EXIT(Sphere(1)->Collide(ident, quick, ident, &Buffer(COLLTYPE_EXACT), vector3(), vector3()),
                ::testing::ExitedWithCode(3), "nXSphereShape::Collide, no collision function aviable!");
    EXPECT_EXIT(Box(1, 1, 1)->Collide(ident, quick, ident, &Buffer(COLLTYPE_EXACT), vector3(), vector3()),
                ::testing::ExitedWithCode(3), "nXBoxShape::Collide, no collision function aviable!");
}

TEST_F(XShapeTest, BoxAgainstSphereSwapsTheSides) {
    nCollideShape2* box = Box(10, 2, 10);
    nCollideShape2* sphere = Sphere(1);
    matrix44 boxM, sphereM;
    sphereM.SetTranslation(vector3(0.5f, 1.5f, 0));
    nCollideReportBuffer& a = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(sphere->Collide(sphereM, box, boxM, &a, vector3(), vector3()));
    ASSERT_EQ(a.numReports, 1);
    const nCollideReport fromSphere = a.reports[0];
    nCollideReportBuffer& b = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(box->Collide(boxM, sphere, sphereM, &b, vector3(), vector3()));
    ASSERT_EQ(b.numReports, 1);
    EXPECT_EQ(b.reports[0].point1, fromSphere.point2);
    EXPECT_EQ(b.reports[0].point2, fromSphere.point1);
    EXPECT_EQ(b.reports[0].normal1, fromSphere.normal2);
    EXPECT_EQ(b.reports[0].normal2, fromSphere.normal1);
    EXPECT_EQ(b.reports[0].depth, fromSphere.depth);
}

TEST_F(XShapeTest, LineChecks) {
    const matrix44 ident;
    // A sphere of radius 1 passed at 0.5 from its centre.
    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(Sphere(1)->LineCheck(ident, line3(vector3(-5, 0.5f, 0), vector3(5, 0.5f, 0)), &buf, vector3()));
    ASSERT_EQ(buf.numLineHits, 1);
    EXPECT_FLOAT_EQ(buf.lineHits[0].value, 0.25f);
    EXPECT_TRUE(buf.lineHits[0].position.isequal(vector3(0, 0.5f, 0), 1e-6f));
    EXPECT_TRUE(buf.lineHits[0].normal.isequal(vector3(0, 1, 0), 1e-6f));
    EXPECT_FALSE(Sphere(1)->LineCheck(ident, line3(vector3(-5, 1.5f, 0), vector3(5, 1.5f, 0)), &Buffer(COLLTYPE_EXACT),
                                      vector3()));

    // Straight down through a box's centre: the +Y face, the one facing the line.
    nCollideReportBuffer& box = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(Box(1, 1, 1)->LineCheck(ident, line3(vector3(0, 5, 0), vector3(0, -5, 0)), &box, vector3()));
    ASSERT_EQ(box.numLineHits, 1);
    EXPECT_TRUE(box.lineHits[0].normal.isequal(vector3(0, 1, 0), 1e-6f));
    EXPECT_TRUE(box.lineHits[0].position.isequal(vector3(0, 0.5f, 0), 1e-6f));
    EXPECT_FLOAT_EQ(box.lineHits[0].value, 4.5f);
    // From inside, nothing.
    EXPECT_FALSE(Box(1, 1, 1)->LineCheck(ident, line3(vector3(0, 0, 0), vector3(0, -5, 0)), &Buffer(COLLTYPE_EXACT),
                                         vector3()));

    // Two parallel triangles: the lower index answers though it is farther.
    nCollideShape2* two = collide->NewShape(5, "two");
    two->BeginMesh(6, 2);
    const vector3 v[6] = {{-1, -2, -1}, {-1, -2, 1}, {1, -2, 0}, {-1, 2, -1}, {-1, 2, 1}, {1, 2, 0}};
    for (int i = 0; i < 6; i++) two->SetVertex(i, v[i]);
    two->SetTriangle(0, 0, 1, 2);
    two->SetTriangle(1, 3, 4, 5);
    ASSERT_TRUE(two->EndMesh());
    nCollideReportBuffer& mesh = Buffer(COLLTYPE_EXACT);
    matrix44 lifted;
    lifted.SetTranslation(vector3(0, 1, 0));
    ASSERT_TRUE(two->LineCheck(lifted, line3(vector3(0, 10, 0), vector3(0, -10, 0)), &mesh, vector3()));
    ASSERT_EQ(mesh.numLineHits, 1);
    EXPECT_TRUE(mesh.lineHits[0].position.isequal(vector3(0, -1, 0), 1e-5f));
    EXPECT_TRUE(mesh.lineHits[0].normal.isequal(vector3(0, 1, 0), 1e-6f));
    EXPECT_FLOAT_EQ(mesh.lineHits[0].value, 11.0f);
}

TEST_F(XShapeTest, ContactModeWritesNothing) {
    struct Case {
        nCollideShape2* a;
        nCollideShape2* b;
        vector3 at;
        vector3 motion;
    };
    const Case cases[] = {
        {Sphere(1), Sphere(1), vector3(1.5f, 0, 0), vector3()},
        {Sphere(1), Box(10, 2, 10), vector3(0, 1.5f, 0), vector3()},
        {Box(10, 2, 10), Sphere(1), vector3(0, 1.5f, 0), vector3()},
        {Box(1, 1, 1), Box(10, 2, 10), vector3(0, 1.6f, 0), vector3(0, -0.3f, 0)},
        {Box(1, 1, 1), Floor(), vector3(0.3f, 0.6f, 0.2f), vector3(0, -0.3f, 0)},
        {Sphere(0.5f), Floor(), vector3(0.3f, 0.6f, 0.2f), vector3(0, -0.3f, 0)},
    };
    const matrix44 ident;
    for (const Case& c : cases) {
        nCollideReportBuffer& buf = Buffer(COLLTYPE_CONTACT);
        for (nCollideReport& r : buf.reports) {
            r.point1 = r.point2 = r.normal1 = r.normal2 = r.frictionDir = vector3(7, 7, 7);
            r.depth = 7;
        }
        for (nCollideLineHit& h : buf.lineHits) {
            h.position = h.normal = vector3(7, 7, 7);
            h.value = 7;
        }
        std::vector<unsigned char> before(reinterpret_cast<unsigned char*>(&buf),
                                          reinterpret_cast<unsigned char*>(&buf) + sizeof(buf));
        matrix44 m;
        m.SetTranslation(c.at);
        EXPECT_TRUE(c.a->Collide(m, c.b, ident, &buf, c.motion, vector3()));
        EXPECT_TRUE(c.a->LineCheck(m, line3(c.at + vector3(0, 20, 0.01f), c.at + vector3(0, -20, 0.01f)), &buf,
                                   vector3()));
        EXPECT_EQ(std::memcmp(before.data(), static_cast<const void*>(&buf), sizeof(buf)), 0);
    }
}

TEST_F(XShapeTest, TriangleIndicesOutsideTheMeshAreRefused) {
    nCollideShape2* m = collide->NewShape(5, "bad");
    m->BeginMesh(3, 1);
    for (int i = 0; i < 3; i++) m->SetVertex(i, vector3(float(i), 0, 0));
    log.text.clear();
    EXPECT_FALSE(m->SetTriangle(0, 0, 1, 3));
    EXPECT_TRUE(LogHas("SetTriangle(0, 0, 1, 3)"));
    EXPECT_FALSE(m->EndMesh());
    EXPECT_FALSE(m->IsReady());

    EXPECT_EQ(m->GetMeshFile(), nullptr);
    std::string path = Write("floor.n3d", "v 0 0 0\nv 1 0 0\nv 0 0 1\nf 1 3 2\n");
    ASSERT_TRUE(m->Load(path.c_str()));
    EXPECT_TRUE(m->IsReady());
    EXPECT_STREQ(m->GetMeshFile(), path.c_str());
    EXPECT_EQ(static_cast<nXTriangleShape2*>(m)->GetNumTriangles(), 1);
}

TEST_F(XShapeTest, Drawing) {
    nRecordGfx* gfx = Gfx();
    Box(2, 4, 6)->Visualize(gfx);
    ASSERT_EQ(gfx->prims.size(), 1u);
    EXPECT_EQ(gfx->prims[0].kind, 3);
    ASSERT_EQ(gfx->prims[0].coords.size(), 24u);
    for (const vector3& c : gfx->prims[0].coords) {
        EXPECT_EQ(std::fabs(c.x), 1.0f);
        EXPECT_EQ(std::fabs(c.y), 2.0f);
        EXPECT_EQ(std::fabs(c.z), 3.0f);
    }
    gfx->prims.clear();
    const float params[2] = {1.0f, 4.0f};
    nCollideShape2* cyl = Cylinder();
    cyl->SetCylinderParams(params);
    cyl->Visualize(gfx);
    ASSERT_EQ(gfx->prims[0].coords.size(), 2u + 6u * 4u);
    EXPECT_EQ(gfx->prims[0].coords[0], vector3(0, 0, -2));
    EXPECT_EQ(gfx->prims[0].coords[1], vector3(0, 0, 2));
    EXPECT_TRUE(gfx->prims[0].coords[2].isequal(vector3(0, -1, 4), 1e-6f));   // the half circles around (0, 0, L)
    EXPECT_TRUE(gfx->prims[0].coords[25].isequal(vector3(1, 0, 4), 1e-6f));
    gfx->prims.clear();
    Floor()->Visualize(gfx);
    ASSERT_EQ(gfx->prims[0].coords.size(), 12u);
    EXPECT_EQ(gfx->prims[0].coords[0], vector3(-5, 0, -5));
    EXPECT_EQ(gfx->prims[0].coords[1], vector3(-5, 0, 5));
    EXPECT_EQ(gfx->prims[0].coords[5], vector3(-5, 0, -5));
    gfx->prims.clear();
    Sphere(2)->Visualize(gfx);
    EXPECT_EQ(gfx->prims[0].coords.size(), 3u * 72u * 2u);
}

}  // namespace
