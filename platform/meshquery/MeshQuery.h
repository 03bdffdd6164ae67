#pragma once
// Queries over a TriMesh placed in the world by a matrix (rows: axes, fourth row:
// translation; points are row vectors): ray stabs, the triangles a sphere or an oriented
// box touches, and the triangle pairs two placed meshes touch. They walk the mesh's tree
// and test the triangles of the leaves they reach with the primitive tests below, so
// they answer exactly what a loop over all triangles with the same tests would. Results
// are sorted by triangle index (pairs by both indices) and never depend on the tree.
// The query runs in the mesh's own frame, so distances and radii hold for rigid
// placements (rotation and translation), which is what collision uses.
// Nothing here allocates except the caller's result vectors when they grow.
#include <cstdint>
#include <vector>

#include "kernel/matrix44.h"
#include "kernel/vector3.h"
#include "platform/meshquery/TriMesh.h"

namespace meshquery {

// An affine placement: p' = p * r + t.
struct Frame {
    float r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    vector3 t;

    static Frame FromMatrix(const matrix44& m);
    vector3 Point(const vector3& p) const {
        return vector3(p.x * r[0][0] + p.y * r[1][0] + p.z * r[2][0] + t.x,
                       p.x * r[0][1] + p.y * r[1][1] + p.z * r[2][1] + t.y,
                       p.x * r[0][2] + p.y * r[1][2] + p.z * r[2][2] + t.z);
    }
    vector3 Dir(const vector3& d) const {
        return vector3(d.x * r[0][0] + d.y * r[1][0] + d.z * r[2][0], d.x * r[0][1] + d.y * r[1][1] + d.z * r[2][1],
                       d.x * r[0][2] + d.y * r[1][2] + d.z * r[2][2]);
    }
    // False (this left as it is) when the 3x3 part has no finite inverse.
    bool Invert();
    // This placement followed by `then`.
    Frame Then(const Frame& then) const;
};

// A face a ray passes: its index, the distance along the ray, and the barycentric
// weights of its second and third corner at the hit.
struct StabbedFace {
    uint32_t face;
    float distance;
    float u, v;
};

struct TrianglePair {
    uint32_t a;  // triangle of the first mesh
    uint32_t b;  // triangle of the second
};

// Settings of a ray stab.
struct RaySettings {
    float maxDistance = 100000.0f;
    // Only faces met from the side their stored corners' normal (v1 - v0) x (v2 - v0)
    // points to count.
    bool cull = true;
    // Stop at the first face found; the result list is then left alone.
    bool firstContact = false;
};

// The ray origin + t * dir, 0 <= t <= maxDistance (dir should be of unit length for t to
// be a distance). True when a face is stabbed; `faces` (cleared first unless
// firstContact; may be null) gets every stabbed face.
bool RayStab(const TriMesh& mesh, const matrix44& world, const vector3& origin, const vector3& dir,
             const RaySettings& settings, std::vector<StabbedFace>* faces);

// The triangles a sphere (world centre, radius) touches, boundary included.
bool SphereTouched(const TriMesh& mesh, const matrix44& world, const vector3& centre, float radius,
                   bool firstContact, std::vector<uint32_t>* touched);

// The triangles an oriented box touches (separating axes): the box's centre is the
// translation of `box`, its axes the first three rows scaled by `halfExtents`.
bool BoxTouched(const TriMesh& mesh, const matrix44& world, const matrix44& box, const vector3& halfExtents,
                bool firstContact, std::vector<uint32_t>* touched);

// The pairs of triangles of two placed meshes that touch.
bool MeshTouched(const TriMesh& meshA, const matrix44& worldA, const TriMesh& meshB, const matrix44& worldB,
                 bool firstContact, std::vector<TrianglePair>* pairs);

// The eight corners of the box of BoxTouched, by the signs of the scaled axes X, Y, Z:
// 0 (-X -Y -Z), 1 (+X -Y -Z), 2 (+X +Y -Z), 3 (-X +Y -Z),
// 4 (-X -Y +Z), 5 (+X -Y +Z), 6 (+X +Y +Z), 7 (-X +Y +Z).
void BoxCorners(const matrix44& box, const vector3& halfExtents, vector3 corners[8]);

// ---- the primitive tests, one triangle at a time, in the frame the caller chooses

// Moeller-Trumbore; t in [0, maxDistance], u and v the weights of v1 and v2.
bool RayTriangle(const vector3& origin, const vector3& dir, const vector3& v0, const vector3& v1,
                 const vector3& v2, bool cull, float maxDistance, float& t, float& u, float& v);
// The squared distance from p to the closest point of the triangle (degenerate ones too).
float PointTriangleDistSq(const vector3& p, const vector3& v0, const vector3& v1, const vector3& v2);
// A box as its centre and three half-axis vectors (not necessarily orthogonal).
struct Box {
    vector3 centre;
    vector3 axis[3];
};
bool BoxTriangle(const Box& box, const vector3& v0, const vector3& v1, const vector3& v2);
bool TriangleTriangle(const vector3& a0, const vector3& a1, const vector3& a2, const vector3& b0,
                      const vector3& b1, const vector3& b2);

// The box of BoxTouched in the frame `toLocal` leads into.
Box MakeBox(const matrix44& box, const vector3& halfExtents, const Frame& toLocal);

}  // namespace meshquery
