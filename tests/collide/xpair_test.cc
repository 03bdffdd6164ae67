// The box and sphere pair tests: the exact vectors, floors from a mesh file, contexts
// filing them, degenerate input.
#include <random>
#include <vector>

#include "collide/nCollideGeometry.h"
#include "collide/nXPairTests.h"
#include "kernel/quaternion.h"
#include "tests/collide/XCollideFixture.h"

namespace {

using XPairTest = XCollideFixture;

void ExpectNear(const vector3& got, const vector3& want, const char* what) {
    EXPECT_NEAR(got.x, want.x, 1e-5f) << what;
    EXPECT_NEAR(got.y, want.y, 1e-5f) << what;
    EXPECT_NEAR(got.z, want.z, 1e-5f) << what;
}

matrix44 At(const vector3& p) {
    matrix44 m;
    m.SetTranslation(p);
    return m;
}

TEST_F(XPairTest, TwoRestingSpheres) {
    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(Sphere(1)->Collide(At(vector3(1.5f, 0, 0)), Sphere(1), matrix44(), &buf, vector3(), vector3()));
    ASSERT_EQ(buf.numReports, 1);
    const nCollideReport& r = buf.reports[0];
    ExpectNear(r.normal1, vector3(-1, 0, 0), "normal 1");
    ExpectNear(r.normal2, vector3(1, 0, 0), "normal 2");
    ExpectNear(r.point1, vector3(0.5f, 0, 0), "point 1");
    ExpectNear(r.point2, vector3(1, 0, 0), "point 2");
    EXPECT_NEAR(r.depth, 0.5f, 1e-5f);
    // Apart by more than their motions can close: nothing counted.
    nCollideReportBuffer& apart = Buffer(COLLTYPE_EXACT);
    EXPECT_FALSE(Sphere(1)->Collide(At(vector3(5, 0, 0)), Sphere(1), matrix44(), &apart, vector3(), vector3()));
    EXPECT_EQ(apart.numReports, 0);
    // Coincident centres without motion point up.
    nCollideReportBuffer& same = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(Sphere(1)->Collide(matrix44(), Sphere(1), matrix44(), &same, vector3(), vector3()));
    ExpectNear(same.reports[0].normal2, vector3(0, 1, 0), "fallback normal");
    EXPECT_TRUE(Finite(same.reports[0]));
}

TEST_F(XPairTest, BoxMovingDownOntoALargerBox) {
    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
    const vector3 down(0, -0.3f, 0);
    ASSERT_TRUE(Box(1, 1, 1)->Collide(At(vector3(0, 1.6f, 0)), Box(10, 2, 10), matrix44(), &buf, down, vector3()));
    // One report for each vertical edge through the top face; pass 1 skipped after four.
    ASSERT_EQ(buf.numReports, 4);
    const vector3 corners[4] = {{-0.5f, 0.8f, -0.5f}, {0.5f, 0.8f, -0.5f}, {0.5f, 0.8f, 0.5f}, {-0.5f, 0.8f, 0.5f}};
    for (int i = 0; i < 4; i++) {
        const nCollideReport& r = buf.reports[i];
        ExpectNear(r.point1, corners[i], "point 1");
        ExpectNear(r.point2, vector3(corners[i].x, 1, corners[i].z), "point 2");
        ExpectNear(r.normal2, vector3(0, 1, 0), "normal 2");
        ExpectNear(r.normal1, vector3(0, -1, 0), "normal 1");
        EXPECT_NEAR(r.depth, 0.2f, 1e-5f);
    }
}

TEST_F(XPairTest, BoxWithoutMotionChoosesNoPlaneAndStops) {
    // Overlapping, not moving: pass 0 keeps no edge and chooses no reference plane, so
    // pass 1 has nothing to measure against, even after another call chose one.
    nCollideReportBuffer& first = Buffer(COLLTYPE_EXACT);
    Box(1, 1, 1)->Collide(At(vector3(0, 1.6f, 0)), Box(10, 2, 10), matrix44(), &first, vector3(0, -0.3f, 0), vector3());
    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
    EXPECT_FALSE(Box(1, 1, 1)->Collide(At(vector3(0, 1.2f, 0)), Box(10, 2, 10), matrix44(), &buf, vector3(), vector3()));
    EXPECT_EQ(buf.numReports, 0);
}

TEST_F(XPairTest, SphereAboveABoxTouchesTheTopFace) {
    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(Sphere(1)->Collide(At(vector3(0, 1.5f, 0)), Box(10, 2, 10), matrix44(), &buf, vector3(), vector3()));
    ASSERT_EQ(buf.numReports, 1);
    const nCollideReport& r = buf.reports[0];
    ExpectNear(r.point2, vector3(0, 1, 0), "point 2");
    ExpectNear(r.point1, vector3(0, 0.5f, 0), "point 1");
    ExpectNear(r.normal2, vector3(0, 1, 0), "normal 2");
    ExpectNear(r.normal1, vector3(0, -1, 0), "normal 1");
    EXPECT_NEAR(r.depth, 0.5f, 1e-5f);
}

TEST_F(XPairTest, BoxAndSphereLandOnAMeshFloor) {
    const vector3 down(0, -0.3f, 0);
    nCollideReportBuffer& box = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(Box(1, 1, 1)->Collide(At(vector3(0.3f, 0.6f, 0.2f)), Floor(), matrix44(), &box, down, vector3()));
    ASSERT_EQ(box.numReports, 4);
    for (int i = 0; i < box.numReports; i++) {
        const nCollideReport& r = box.reports[i];
        EXPECT_TRUE(Finite(r));
        EXPECT_NEAR(r.depth, 0.2f, 1e-5f);
        EXPECT_NEAR(r.point2.y, 0.0f, 1e-5f);
        EXPECT_NEAR(r.point1.y, -0.2f, 1e-5f);
        ExpectNear(r.normal2, vector3(0, 1, 0), "floor normal");
        ExpectNear(r.normal1, vector3(0, -1, 0), "edge direction");
    }
    nCollideReportBuffer& sphere = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(Sphere(0.5f)->Collide(At(vector3(0.3f, 0.6f, 0.2f)), Floor(), matrix44(), &sphere, down, vector3()));
    ASSERT_EQ(sphere.numReports, 1);
    EXPECT_TRUE(Finite(sphere.reports[0]));
    EXPECT_GT(sphere.reports[0].depth, 0.0f);
    EXPECT_NEAR(sphere.reports[0].point2.y, 0.0f, 1e-5f);
    ExpectNear(sphere.reports[0].normal2, vector3(0, 1, 0), "floor normal");
    // High above: nothing.
    EXPECT_FALSE(Sphere(0.5f)->Collide(At(vector3(0, 5, 0)), Floor(), matrix44(), &Buffer(COLLTYPE_EXACT), down,
                                       vector3()));
}

TEST_F(XPairTest, BoxOntoARotatedMeshUsesTheMeshFrameMotion) {
    // The floor turned into a wall facing +z; the box moves onto it along -z. Measured in
    // the mesh's frame the motion runs against the floor's normal, as in the upright case.
    matrix44 wall(1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1);
    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
    ASSERT_TRUE(Box(1, 1, 1)->Collide(At(vector3(0.3f, 0.2f, 0.6f)), Floor(), wall, &buf, vector3(0, 0, -0.3f),
                                      vector3()));
    ASSERT_EQ(buf.numReports, 4);
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(buf.reports[i].depth, 0.2f, 1e-5f);
        ExpectNear(buf.reports[i].normal2, vector3(0, 0, 1), "wall normal");
        EXPECT_NEAR(buf.reports[i].point2.z, 0.0f, 1e-5f);
        EXPECT_NEAR(buf.reports[i].point1.z, -0.2f, 1e-5f);
    }
}

// The box pair test spelt out plainly: every edge against every face with the shared
// geometry, no lanes and no filter in front of the segment test.
std::vector<nCollideReport> PlainBoxBox(const vector3& sidesA, const matrix44& ma, const vector3& M,
                                        const vector3& sidesB, const matrix44& mb) {
    using G = nCollideGeometry;
    vector3 c[2][8];
    G::Edge e[2][12];
    triangle f[2][6];
    G::BoxCorners(sidesA, ma, &M, c[0]);
    G::BoxCorners(sidesB, mb, nullptr, c[1]);
    bool moving = false;
    for (int k = 0; k < 2; k++) {
        G::BoxEdges(c[k], e[k]);
        G::BoxFaces(c[k], f[k]);
    }
    for (const G::Edge& s : e[0]) moving |= s.disp % M != 0.0f;
    std::vector<nCollideReport> out;
    int reference = -1;
    float best = 0.0f;
    // Pass 0: A's edges into B's faces; pass 1: B's into A's, against the plane pass 0 chose.
    for (int pass = 0; pass < 2; pass++) {
        const vector3 dir = pass == 0 ? M : -M;
        if (pass == 0 ? !moving : out.size() >= 4 || reference < 0) continue;
        const triangle& rf = f[0][pass == 1 ? reference : 0];
        const G::Plane plane = G::PlaneFrom(rf.point, rf.point + rf.edge2, rf.point + rf.edge1);
        for (int face = 0; face < 6; face++) {
            const triangle& tri = f[1 - pass][face];
            const vector3 n = tri.edge1 * tri.edge2;
            if (pass == 0 && n % M > best) {
                best = n % M;
                reference = face;
            }
            if (!(n % dir <= 0.0f)) continue;
            const G::Plane inward = G::PlaneFrom(tri.point, tri.point + tri.edge2, tri.point + tri.edge1);
            for (G::Edge s : e[pass]) {
                float t;
                if (pass == 0 && s.disp % M == 0.0f) continue;
                if (s.disp % dir < 0.0f) s = G::Edge{s.start + s.disp, -s.disp};
                if (!G::SegmentFace(s.start, s.disp, tri, t)) continue;
                nCollideReport r;
                r.normal2 = pass == 0 ? G::Unit(n) : -plane.normal;
                r.normal1 = -r.normal2;
                r.point1 = pass == 0 ? s.start + s.disp : s.start + s.disp * t;
                r.depth = (pass == 0 ? inward : plane).Value(r.point1);
                r.point2 = pass == 0 ? s.start + s.disp * t : r.point1 - plane.normal * r.depth;
                if (r.depth > 0.0f) out.push_back(r);
            }
        }
    }
    return out;
}

TEST_F(XPairTest, BoxPairsFileExactlyWhatEveryEdgeAgainstEveryFaceFinds) {
    // Turned and axis-aligned boxes, moving obliquely, along an axis (edges square to the
    // motion drop out) and not at all: bit for bit the reports of the plain loops.
    std::mt19937 rng(106);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const float aligned[4][4] = {{0, 0, 0, 1}, {0, 0.7071068f, 0, 0.7071068f}, {1, 0, 0, 0}, {0.5f, 0.5f, 0.5f, 0.5f}};
    const vector3 sidesA(1.0f, 0.8f, 1.2f), sidesB(1.5f, 1.0f, 0.9f);
    int compared = 0;
    for (int i = 0; i < 600; i++) {
        const bool axes = i % 3 == 0;
        matrix44 m[2];
        for (matrix44& x : m) {
            const float* q = aligned[rng() % 4];
            quaternion r = axes ? quaternion(q[0], q[1], q[2], q[3]) : quaternion(u(rng), u(rng), u(rng), u(rng));
            r.Norm();
            x.SetQuaternion(r);
        }
        const vector3 dir = axes ? vector3(float(int(rng() % 5) - 2) * 0.25f, float(int(rng() % 5) - 2) * 0.25f, 0.5f)
                                 : vector3(u(rng), u(rng), u(rng)) * 0.8f;
        m[0].SetTranslation(dir);
        const vector3 M = i % 3 == 1 ? vector3() : (i % 2 ? -dir * 0.125f : vector3(0, 0.25f, 0));
        nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
        const bool hit = nXPairTests::BoxBox(sidesA, m[0], M, sidesB, m[1], &buf);
        const std::vector<nCollideReport> want = PlainBoxBox(sidesA, m[0], M, sidesB, m[1]);
        ASSERT_EQ(buf.numReports, int(want.size())) << "pose " << i;
        EXPECT_EQ(hit, !want.empty());
        for (size_t k = 0; k < want.size(); k++) {
            const nCollideReport& r = buf.reports[k];
            EXPECT_TRUE(r.point1 == want[k].point1 && r.point2 == want[k].point2 && r.normal1 == want[k].normal1 &&
                        r.normal2 == want[k].normal2 && r.depth == want[k].depth)
                << "pose " << i << " report " << k;
        }
        compared += int(want.size());
    }
    EXPECT_GT(compared, 600);
}

TEST_F(XPairTest, ContextFilesExactBoxPairs) {
    nCollideContext2* ctx = collide->NewContext("physik");
    TwoClasses(COLLTYPE_EXACT);
    collide->BeginFrame();
    nCollideObject2 a, b;
    Place(ctx, a, Box(1, 1, 1), 0, vector3(0, 1.6f, 0), true, vector3(0, -0.3f, 0));
    Place(ctx, b, Box(10, 2, 10), 1, vector3(), false);
    collide->EndFrame();
    EXPECT_EQ(ctx->Collide(), 4);
    for (int i = 0; i < ctx->GetNumReports(); i++) {
        EXPECT_EQ(ctx->GetReport(i).objA, &a);
        EXPECT_EQ(ctx->GetReport(i).objB, &b);
        EXPECT_NEAR(ctx->GetReport(i).depth, 0.2f, 1e-5f);
    }
    EXPECT_EQ(a.contactCount, 4);
    EXPECT_EQ(b.contactCount, 4);
}

TEST_F(XPairTest, DegenerateInputStaysFinite) {
    // A degenerate mesh: a collinear triangle next to a good one.
    nCollideShape2* mesh = collide->NewShape(5, "degenerate");
    mesh->BeginMesh(4, 2);
    mesh->SetVertex(0, vector3(-1, 0, -1));
    mesh->SetVertex(1, vector3(0, 0, 0));
    mesh->SetVertex(2, vector3(1, 0, 1));
    mesh->SetVertex(3, vector3(-1, 0, 1));
    mesh->SetTriangle(0, 0, 1, 2);
    mesh->SetTriangle(1, 0, 3, 2);
    ASSERT_TRUE(mesh->EndMesh());
    nCollideShape2* flat = Box(0, 1, 1);
    nCollideShape2* shapes[] = {Box(1, 1, 1), flat, Box(0, 0, 0), Sphere(1), Sphere(0), mesh};
    const vector3 motions[] = {vector3(), vector3(0, -0.5f, 0), vector3(1e-30f, 0, 0)};
    const vector3 places[] = {vector3(), vector3(0, 0.4f, 0), vector3(0.5f, 0.5f, 0.5f)};
    int filed = 0;
    for (nCollideShape2* a : shapes) {
        for (nCollideShape2* b : shapes) {
            for (const vector3& m : motions) {
                for (const vector3& p : places) {
                    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
                    a->Collide(At(p), b, matrix44(), &buf, m, m * 0.5f);
                    for (int i = 0; i < buf.numReports; i++) {
                        EXPECT_TRUE(Finite(buf.reports[i])) << a->GetName() << " " << b->GetName();
                        filed++;
                    }
                    // Zero-length lines and lines along the degenerate faces.
                    nCollideReportBuffer& lines = Buffer(COLLTYPE_EXACT);
                    a->LineCheck(At(p), line3(p, p), &lines, m);
                    a->LineCheck(At(p), line3(vector3(-2, 0, 0), vector3(2, 0, 0)), &lines, m);
                    for (int i = 0; i < lines.numLineHits; i++) {
                        EXPECT_TRUE(Finite(lines.lineHits[i].position) && Finite(lines.lineHits[i].normal) &&
                                    std::isfinite(lines.lineHits[i].value));
                    }
                }
            }
        }
    }
    EXPECT_GT(filed, 0);
}

TEST_F(XPairTest, TestsStopAtTheBuffersEnd) {
    // A mesh of many stacked floors: every box edge crosses each, far more than 255.
    nCollideShape2* stack = collide->NewShape(5, "stack");
    const int layers = 100;
    stack->BeginMesh(3 * layers, layers);
    for (int l = 0; l < layers; l++) {
        float y = -0.001f * float(l);
        stack->SetVertex(3 * l, vector3(-5, y, -5));
        stack->SetVertex(3 * l + 1, vector3(-5, y, 5));
        stack->SetVertex(3 * l + 2, vector3(5, y, 0));
    }
    for (int l = 0; l < layers; l++) stack->SetTriangle(l, 3 * l, 3 * l + 1, 3 * l + 2);
    ASSERT_TRUE(stack->EndMesh());
    nCollideReportBuffer& buf = Buffer(COLLTYPE_EXACT);
    EXPECT_TRUE(Box(1, 1, 1)->Collide(At(vector3(0, 0.6f, 0)), stack, matrix44(), &buf, vector3(0, -0.3f, 0),
                                      vector3()));
    EXPECT_EQ(buf.numReports, nCollideReportBuffer::MaxReports);
}

}  // namespace
