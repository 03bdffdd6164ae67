// The mesh-query layer: every query against a loop over all triangles with the same
// primitive tests, the primitives against hand-worked cases, and bad meshes under the
// sanitizers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "platform/meshquery/MeshQuery.h"
#include "platform/meshquery/TriMesh.h"

using namespace meshquery;

namespace {

class MeshQueryTest : public ::testing::Test {
protected:
    std::mt19937 rng{20261206};
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    vector3 Point(float extent) { return vector3(Uniform(-extent, extent), Uniform(-extent, extent), Uniform(-extent, extent)); }
    vector3 UnitDir() {
        vector3 d;
        do d = Point(1.0f);
        while (d.Len() < 0.1f);
        d.Norm();
        return d;
    }
    // A rigid placement: random rotation, translation within `extent`.
    matrix44 Pose(float extent) {
        quaternion q(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1));
        float l = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
        q = quaternion(q.x / l, q.y / l, q.z / l, q.w / l);
        matrix44 m;
        m.SetQuaternion(q);
        m.SetTranslation(Point(extent));
        return m;
    }
    // Half a soup of small triangles in a cube, half a bumpy sheet sharing its vertices.
    void RandomMesh(TriMesh& mesh, int soup, int grid) {
        const int sheetVerts = (grid + 1) * (grid + 1);
        mesh.Begin(3 * soup + sheetVerts, soup + 2 * grid * grid);
        int v = 0, t = 0;
        for (int i = 0; i < soup; i++) {
            vector3 c = Point(4.0f);
            for (int k = 0; k < 3; k++) mesh.SetVertex(v + k, c + Point(0.8f));
            mesh.SetTriangle(t++, uint32_t(v), uint32_t(v + 1), uint32_t(v + 2));
            v += 3;
        }
        const int base = v;
        for (int z = 0; z <= grid; z++)
            for (int x = 0; x <= grid; x++)
                mesh.SetVertex(v++, vector3(-4.0f + 8.0f * x / grid, Uniform(-0.5f, 0.5f), -4.0f + 8.0f * z / grid));
        for (int z = 0; z < grid; z++)
            for (int x = 0; x < grid; x++) {
                uint32_t i0 = uint32_t(base + z * (grid + 1) + x), i1 = i0 + 1, i2 = i0 + uint32_t(grid + 1), i3 = i2 + 1;
                mesh.SetTriangle(t++, i0, i2, i1);
                mesh.SetTriangle(t++, i1, i2, i3);
            }
        ASSERT_TRUE(mesh.Build());
    }
};

// ---- the loops the tree must agree with

std::vector<StabbedFace> BruteRay(const TriMesh& m, const matrix44& world, const vector3& o, const vector3& d,
                                  const RaySettings& s) {
    Frame f = Frame::FromMatrix(world);
    EXPECT_TRUE(f.Invert());
    std::vector<StabbedFace> out;
    for (int i = 0; i < m.GetNumTriangles(); i++) {
        vector3 a, b, c;
        m.GetTriangle(i, a, b, c);
        float t, u, v;
        if (RayTriangle(f.Point(o), f.Dir(d), a, b, c, s.cull, s.maxDistance, t, u, v)) out.push_back({uint32_t(i), t, u, v});
    }
    return out;
}

std::vector<uint32_t> BruteSphere(const TriMesh& m, const matrix44& world, const vector3& centre, float r) {
    Frame f = Frame::FromMatrix(world);
    EXPECT_TRUE(f.Invert());
    std::vector<uint32_t> out;
    for (int i = 0; i < m.GetNumTriangles(); i++) {
        vector3 a, b, c;
        m.GetTriangle(i, a, b, c);
        if (PointTriangleDistSq(f.Point(centre), a, b, c) <= r * r) out.push_back(uint32_t(i));
    }
    return out;
}

std::vector<uint32_t> BruteBox(const TriMesh& m, const matrix44& world, const matrix44& box, const vector3& h) {
    Frame f = Frame::FromMatrix(world);
    EXPECT_TRUE(f.Invert());
    Box b = MakeBox(box, h, f);
    std::vector<uint32_t> out;
    for (int i = 0; i < m.GetNumTriangles(); i++) {
        vector3 p, q, r;
        m.GetTriangle(i, p, q, r);
        if (BoxTriangle(b, p, q, r)) out.push_back(uint32_t(i));
    }
    return out;
}

std::vector<TrianglePair> BrutePairs(const TriMesh& ma, const matrix44& wa, const TriMesh& mb, const matrix44& wb) {
    Frame toA = Frame::FromMatrix(wa);
    EXPECT_TRUE(toA.Invert());
    Frame bToA = Frame::FromMatrix(wb).Then(toA);
    std::vector<TrianglePair> out;
    for (int i = 0; i < ma.GetNumTriangles(); i++) {
        vector3 a0, a1, a2;
        ma.GetTriangle(i, a0, a1, a2);
        for (int k = 0; k < mb.GetNumTriangles(); k++) {
            vector3 b0, b1, b2;
            mb.GetTriangle(k, b0, b1, b2);
            if (TriangleTriangle(a0, a1, a2, bToA.Point(b0), bToA.Point(b1), bToA.Point(b2)))
                out.push_back({uint32_t(i), uint32_t(k)});
        }
    }
    return out;
}

void ExpectSameFaces(const std::vector<StabbedFace>& got, const std::vector<StabbedFace>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_EQ(got[i].face, want[i].face);
        EXPECT_EQ(got[i].distance, want[i].distance);
        EXPECT_EQ(got[i].u, want[i].u);
        EXPECT_EQ(got[i].v, want[i].v);
    }
}

TEST_F(MeshQueryTest, RaysAndSpheresAgreeWithTheFullLoop) {
    TriMesh mesh;
    RandomMesh(mesh, 300, 12);
    int hits = 0, touches = 0;
    for (int pose = 0; pose < 8; pose++) {
        matrix44 world = pose == 0 ? matrix44() : Pose(3.0f);
        for (int q = 0; q < 150; q++) {
            RaySettings s;
            s.cull = q % 3 != 0;
            s.maxDistance = q % 2 ? 100000.0f : Uniform(0.5f, 12.0f);
            // Mostly aimed into the mesh, so that many rays pass several faces.
            vector3 o = Point(9.0f), d = q % 4 ? world * Point(3.0f) - o : UnitDir();
            d.Norm();
            if (q % 10 == 5) {
                // Along one of the mesh's own axes, through it: parallel to two slabs.
                const float sign = q % 20 == 5 ? 1.0f : -1.0f;
                const vector3 axes[3] = {vector3(sign, 0, 0), vector3(0, sign, 0), vector3(0, 0, sign)};
                const vector3 local = axes[(q / 10) % 3];
                d = world * local - world * vector3();
                o = world * (Point(3.0f) - local * 10.0f);
            }
            std::vector<StabbedFace> faces;
            bool hit = RayStab(mesh, world, o, d, s, &faces);
            std::vector<StabbedFace> want = BruteRay(mesh, world, o, d, s);
            ExpectSameFaces(faces, want);
            EXPECT_EQ(hit, !want.empty());
            hits += int(want.size());
            s.firstContact = true;
            std::vector<StabbedFace> untouched(1, StabbedFace{7, 1, 2, 3});
            EXPECT_EQ(RayStab(mesh, world, o, d, s, &untouched), !want.empty());
            EXPECT_EQ(untouched.size(), 1u);  // first contact writes nothing

            vector3 c = Point(6.0f);
            float r = Uniform(0.0f, 2.5f);
            std::vector<uint32_t> touched;
            bool any = SphereTouched(mesh, world, c, r, false, &touched);
            std::vector<uint32_t> wantTouched = BruteSphere(mesh, world, c, r);
            EXPECT_EQ(touched, wantTouched);
            EXPECT_EQ(any, !wantTouched.empty());
            EXPECT_EQ(SphereTouched(mesh, world, c, r, true, nullptr), any);
            touches += int(wantTouched.size());
        }
    }
    // The cases must actually meet the mesh, or the comparison proves nothing.
    EXPECT_GT(hits, 300);
    EXPECT_GT(touches, 1000);
}

TEST_F(MeshQueryTest, BoxesAndMeshPairsAgreeWithTheFullLoop) {
    TriMesh a, b;
    RandomMesh(a, 200, 8);
    RandomMesh(b, 120, 6);
    int touches = 0, pairs = 0;
    for (int pose = 0; pose < 12; pose++) {
        matrix44 wa = pose == 0 ? matrix44() : Pose(2.0f);
        matrix44 wb = Pose(4.0f);
        for (int q = 0; q < 60; q++) {
            matrix44 box = Pose(6.0f);
            vector3 h(Uniform(0.0f, 2.0f), Uniform(0.0f, 2.0f), Uniform(0.0f, 2.0f));
            std::vector<uint32_t> touched;
            bool any = BoxTouched(a, wa, box, h, false, &touched);
            std::vector<uint32_t> want = BruteBox(a, wa, box, h);
            EXPECT_EQ(touched, want);
            EXPECT_EQ(any, !want.empty());
            EXPECT_EQ(BoxTouched(a, wa, box, h, true, nullptr), any);
            touches += int(want.size());
        }
        std::vector<TrianglePair> got;
        bool any = MeshTouched(a, wa, b, wb, false, &got);
        std::vector<TrianglePair> want = BrutePairs(a, wa, b, wb);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); i++) {
            EXPECT_EQ(got[i].a, want[i].a);
            EXPECT_EQ(got[i].b, want[i].b);
        }
        EXPECT_EQ(any, !want.empty());
        EXPECT_EQ(MeshTouched(a, wa, b, wb, true, nullptr), any);
        pairs += int(want.size());
    }
    EXPECT_GT(touches, 1000);
    EXPECT_GT(pairs, 500);
}

TEST_F(MeshQueryTest, CullingFollowsTheStoredCornersAndTheLineEndsAtItsLength) {
    TriMesh m;
    m.Begin(3, 1);
    m.SetVertex(0, vector3(0, 0, 0));
    m.SetVertex(1, vector3(1, 0, 0));
    m.SetVertex(2, vector3(0, 1, 0));
    m.SetTriangle(0, 0, 1, 2);  // (v1 - v0) x (v2 - v0) points to +z
    ASSERT_TRUE(m.Build());
    matrix44 id;
    RaySettings s;
    std::vector<StabbedFace> faces;
    // From +z, running down: met from the normal's side.
    ASSERT_TRUE(RayStab(m, id, vector3(0.25f, 0.5f, 1.0f), vector3(0, 0, -1), s, &faces));
    ASSERT_EQ(faces.size(), 1u);
    EXPECT_EQ(faces[0].face, 0u);
    EXPECT_FLOAT_EQ(faces[0].distance, 1.0f);
    EXPECT_FLOAT_EQ(faces[0].u, 0.25f);
    EXPECT_FLOAT_EQ(faces[0].v, 0.5f);
    // From below: culled, unless culling is off.
    EXPECT_FALSE(RayStab(m, id, vector3(0.25f, 0.5f, -1.0f), vector3(0, 0, 1), s, &faces));
    EXPECT_TRUE(faces.empty());
    s.cull = false;
    EXPECT_TRUE(RayStab(m, id, vector3(0.25f, 0.5f, -1.0f), vector3(0, 0, 1), s, &faces));
    // The maximum distance is the line's length; behind the start nothing counts.
    s.cull = true;
    s.maxDistance = 0.99f;
    EXPECT_FALSE(RayStab(m, id, vector3(0.25f, 0.5f, 1.0f), vector3(0, 0, -1), s, &faces));
    s.maxDistance = 1.0f;
    EXPECT_TRUE(RayStab(m, id, vector3(0.25f, 0.5f, 1.0f), vector3(0, 0, -1), s, &faces));
    EXPECT_FALSE(RayStab(m, id, vector3(0.25f, 0.5f, -1.0f), vector3(0, 0, -1), s, &faces));
    // Turned over by its placement, the face shows its normal downwards.
    matrix44 flip;
    flip.RotateX(3.14159265f);
    s.maxDistance = 10.0f;
    EXPECT_TRUE(RayStab(m, flip, vector3(0.25f, -0.5f, -1.0f), vector3(0, 0, 1), s, &faces));
    EXPECT_FALSE(RayStab(m, flip, vector3(0.25f, -0.5f, 1.0f), vector3(0, 0, -1), s, &faces));
}

TEST_F(MeshQueryTest, PrimitivesMatchHandWorkedCases) {
    const vector3 a(0, 0, 0), b(2, 0, 0), c(0, 2, 0);
    EXPECT_FLOAT_EQ(PointTriangleDistSq(vector3(0.5f, 0.5f, 3), a, b, c), 9.0f);   // over the face
    EXPECT_FLOAT_EQ(PointTriangleDistSq(vector3(-1, -1, 0), a, b, c), 2.0f);      // by a corner
    EXPECT_FLOAT_EQ(PointTriangleDistSq(vector3(2, 2, 0), a, b, c), 2.0f);        // by the long edge
    EXPECT_FLOAT_EQ(PointTriangleDistSq(vector3(1, 1, 1), a, a, vector3(2, 0, 0)), 2.0f);  // degenerate

    // Coplanar triangles: apart, then overlapping; crossing and merely nearby in 3D.
    EXPECT_FALSE(TriangleTriangle(a, b, c, vector3(2, 2, 0), vector3(3, 2, 0), vector3(2, 3, 0)));
    EXPECT_TRUE(TriangleTriangle(a, b, c, vector3(0.5f, 0.5f, 0), vector3(3, 0.5f, 0), vector3(0.5f, 3, 0)));
    EXPECT_TRUE(TriangleTriangle(a, b, c, vector3(0.5f, 0.5f, -1), vector3(0.5f, 0.5f, 1), vector3(3, 3, 0)));
    EXPECT_FALSE(TriangleTriangle(a, b, c, vector3(1.5f, 1.5f, -1), vector3(1.5f, 1.5f, 1), vector3(3, 3, 0)));

    // A box at (2, 2, 0), turned 45 degrees about z: only an axis of its own or an
    // edge cross product parts it from the triangle's corner region.
    Box box;
    box.centre = vector3(1.9f, 1.9f, 0);
    const float s = std::sqrt(0.5f);
    box.axis[0] = vector3(s, s, 0) * 0.5f;
    box.axis[1] = vector3(-s, s, 0) * 0.5f;
    box.axis[2] = vector3(0, 0, 0.5f);
    EXPECT_FALSE(BoxTriangle(box, a, b, c));
    box.centre = vector3(1.2f, 1.2f, 0);
    EXPECT_TRUE(BoxTriangle(box, a, b, c));
    box.centre = vector3(0.5f, 0.5f, 0.6f);
    EXPECT_FALSE(BoxTriangle(box, a, b, c));
    box.centre = vector3(0.5f, 0.5f, 0.5f);  // touching counts
    EXPECT_TRUE(BoxTriangle(box, a, b, c));
}

TEST_F(MeshQueryTest, BoxCornersComeInTheDocumentedOrder) {
    matrix44 box;
    box.RotateZ(1.5707963f);  // x becomes y
    box.SetTranslation(vector3(10, 20, 30));
    vector3 c[8];
    BoxCorners(box, vector3(1, 2, 3), c);
    // Scaled axes: X = (0, 1, 0), Y = (-2, 0, 0), Z = (0, 0, 3).
    const float want[8][3] = {{12, 19, 27}, {12, 21, 27}, {8, 21, 27}, {8, 19, 27},
                              {12, 19, 33}, {12, 21, 33}, {8, 21, 33}, {8, 19, 33}};
    for (int i = 0; i < 8; i++) EXPECT_TRUE(c[i].isequal(vector3(want[i][0], want[i][1], want[i][2]), 1e-5f)) << i;
}

TEST_F(MeshQueryTest, BadIndicesFailTheBuildAndEmptyMeshesTouchNothing) {
    TriMesh m;
    m.Begin(3, 2);
    m.SetTriangle(0, 0, 1, 2);
    m.SetTriangle(1, 0, 3, 2);
    std::string error;
    EXPECT_FALSE(m.Build(&error));
    EXPECT_NE(error.find("triangle 1"), std::string::npos) << error;
    EXPECT_FALSE(m.IsBuilt());
    std::vector<uint32_t> touched;
    EXPECT_FALSE(SphereTouched(m, matrix44(), vector3(), 100.0f, false, &touched));
    EXPECT_FALSE(m.SetTriangle(2, 0, 0, 0));
    EXPECT_FALSE(m.SetVertex(-1, vector3()));

    // Counts no mesh could hold are refused before anything is allocated.
    EXPECT_FALSE(m.Begin(-1, 3));
    EXPECT_FALSE(m.Begin(3, TriMesh::MaxCount + 1));
    EXPECT_EQ(m.GetNumVertices(), 0);
    EXPECT_EQ(m.GetNumTriangles(), 0);

    TriMesh empty;
    EXPECT_TRUE(empty.Begin(0, 0));
    ASSERT_TRUE(empty.Build());
    std::vector<StabbedFace> faces;
    std::vector<TrianglePair> pairs;
    EXPECT_FALSE(RayStab(empty, matrix44(), vector3(), vector3(0, 0, 1), RaySettings(), &faces));
    EXPECT_FALSE(SphereTouched(empty, matrix44(), vector3(), 100.0f, false, &touched));
    EXPECT_FALSE(BoxTouched(empty, matrix44(), matrix44(), vector3(9, 9, 9), false, &touched));
    EXPECT_FALSE(MeshTouched(empty, matrix44(), empty, matrix44(), false, &pairs));
    // A placement without an inverse places nothing.
    matrix44 flat;
    flat.Scale(vector3(1, 0, 1));
    TriMesh one;
    RandomMesh(one, 4, 1);
    EXPECT_FALSE(SphereTouched(one, flat, vector3(), 100.0f, false, &touched));
}

TEST_F(MeshQueryTest, HostileMeshesNeverCrashOrLoop) {
    // NaN, infinite, huge and degenerate coordinates; repeated corners; zero-length
    // rays, zero boxes and spheres. Only termination and memory safety are asked of
    // these: the sanitizers watch the walks.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float odd[] = {nan, inf, -inf, 3e38f, -3e38f, 0.0f, 1e-38f};
    for (int round = 0; round < 40; round++) {
        TriMesh m;
        const int nv = 1 + int(rng() % 60), nt = int(rng() % 200);
        m.Begin(nv, nt);
        for (int i = 0; i < nv; i++) {
            vector3 v = Point(5.0f);
            if (rng() % 3 == 0) v.x = odd[rng() % 7];
            if (rng() % 5 == 0) v.y = odd[rng() % 7];
            if (round % 4 == 0) v = vector3(1, 1, 1);  // every triangle a point
            m.SetVertex(i, v);
        }
        for (int i = 0; i < nt; i++) {
            uint32_t a = rng() % uint32_t(nv), b = rng() % 2 ? a : rng() % uint32_t(nv), c = rng() % uint32_t(nv);
            m.SetTriangle(i, a, b, c);
        }
        ASSERT_TRUE(m.Build());
        EXPECT_LE(m.GetDepth(), 12);
        matrix44 world = round % 2 ? Pose(3.0f) : matrix44();
        std::vector<StabbedFace> faces;
        std::vector<uint32_t> touched;
        std::vector<TrianglePair> pairs;
        for (int q = 0; q < 20; q++) {
            RaySettings s;
            s.cull = q % 2;
            vector3 o = q % 4 ? Point(5.0f) : vector3(nan, 0, 0);
            vector3 d = q % 3 ? UnitDir() : vector3(0, 0, 0);
            RayStab(m, world, o, d, s, &faces);
            SphereTouched(m, world, Point(5.0f), q % 2 ? 0.0f : Uniform(0, 50), false, &touched);
            SphereTouched(m, world, Point(5.0f), nan, false, &touched);
            BoxTouched(m, world, Pose(4.0f), q % 2 ? vector3() : vector3(inf, 1, 1), false, &touched);
            for (uint32_t t : touched) EXPECT_LT(t, uint32_t(nt));
        }
        MeshTouched(m, world, m, Pose(1.0f), false, &pairs);
        for (const TrianglePair& p : pairs) EXPECT_TRUE(p.a < uint32_t(nt) && p.b < uint32_t(nt));
    }
}

TEST_F(MeshQueryTest, ARebuiltMeshIsQueriedWhereItsVerticesNowAre) {
    // The leaves keep copies of their triangles' corners: moved vertices and a second
    // build must leave no query answering from the old places.
    TriMesh m;
    RandomMesh(m, 40, 6);
    for (int i = 0; i < m.GetNumVertices(); i++) m.SetVertex(i, m.GetVertex(i) + vector3(0, 5.0f, 0));
    ASSERT_TRUE(m.Build());
    RaySettings s;
    s.cull = false;
    int hits = 0;
    for (int q = 0; q < 100; q++) {
        const vector3 o(Uniform(-4, 4), 20.0f, Uniform(-4, 4)), down(0, -1, 0);
        std::vector<StabbedFace> faces;
        RayStab(m, matrix44(), o, down, s, &faces);
        ExpectSameFaces(faces, BruteRay(m, matrix44(), o, down, s));
        hits += int(faces.size());
    }
    EXPECT_GT(hits, 50);
}

TEST_F(MeshQueryTest, TreesStayShallowOnLargeMeshes) {
    TriMesh m;
    RandomMesh(m, 0, 100);  // 20,000 triangles
    // Halving by count: the depth follows log2(20000 / 4) + 1 whatever the coordinates.
    EXPECT_LE(m.GetDepth(), 15);
    EXPECT_EQ(m.GetOrder().size(), 20000u);
}

}  // namespace
