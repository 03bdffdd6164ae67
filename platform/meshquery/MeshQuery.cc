#include "platform/meshquery/MeshQuery.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace meshquery {

namespace {

float Dot(const vector3& a, const vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
vector3 Cross(const vector3& a, const vector3& b) {
    return vector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
float Comp(const vector3& v, int j) { return j == 0 ? v.x : (j == 1 ? v.y : v.z); }

// Trees are at most about log2(2^32 / LeafSize) + 1 nodes deep; these stacks hold a
// walk of one tree and of two trees side by side with room to spare.
constexpr int kStack = 96;
constexpr int kPairStack = 192;

template <class Leaf, class Enter>
bool Walk(const TriMesh& mesh, bool firstContact, Enter enter, Leaf leaf) {
    const TriMesh::NodeList& nodes = mesh.GetNodes();
    if (nodes.empty()) return false;
    const TriMesh::LeafTriangle* tris = mesh.GetLeafTriangles().data();
    // What a node leads to, asked for ahead of the walk reaching it: the two children
    // come from one line, and the sibling walked later then waits on nothing.
    auto ahead = [&](const TriMesh::Node& n) {
        if (n.count == 0) {
            __builtin_prefetch(&nodes[n.first]);
        } else {
            __builtin_prefetch(&tris[n.first]);
            __builtin_prefetch(&tris[n.first + n.count - 1]);
        }
    };
    uint32_t stack[kStack];
    int top = 0;
    // Each node's box is tested where its parent is taken apart, both children together.
    if (enter(nodes[0])) stack[top++] = 0;
    bool any = false;
    while (top > 0) {
        const TriMesh::Node& n = nodes[stack[--top]];
        if (n.count == 0) {
            const TriMesh::Node& left = nodes[n.first];
            const TriMesh::Node& right = nodes[n.first + 1];
            const bool goLeft = enter(left), goRight = enter(right);
            if (goRight) {
                ahead(right);
                stack[top++] = n.first + 1;
            }
            if (goLeft) {
                ahead(left);
                stack[top++] = n.first;
            }
            continue;
        }
        for (uint32_t i = n.first; i < n.first + n.count; i++) {
            if (leaf(tris[i])) {
                any = true;
                if (firstContact) return true;
            }
        }
    }
    return any;
}

void SortIndices(std::vector<uint32_t>* v) {
    if (v) std::sort(v->begin(), v->end());
}

}  // namespace

// ---- frames

Frame Frame::FromMatrix(const matrix44& m) {
    Frame f;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) f.r[i][j] = m.m[i][j];
    f.t = vector3(m.m[3][0], m.m[3][1], m.m[3][2]);
    return f;
}

bool Frame::Invert() {
    const float (&a)[3][3] = r;
    const float c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    const float c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    const float c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    const float det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
    if (!(det != 0.0f) || !std::isfinite(det)) return false;
    const float s = 1.0f / det;
    float inv[3][3] = {
        {c00 * s, (a[0][2] * a[2][1] - a[0][1] * a[2][2]) * s, (a[0][1] * a[1][2] - a[0][2] * a[1][1]) * s},
        {c01 * s, (a[0][0] * a[2][2] - a[0][2] * a[2][0]) * s, (a[0][2] * a[1][0] - a[0][0] * a[1][2]) * s},
        {c02 * s, (a[0][1] * a[2][0] - a[0][0] * a[2][1]) * s, (a[0][0] * a[1][1] - a[0][1] * a[1][0]) * s},
    };
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            if (!std::isfinite(inv[i][j])) return false;
    std::copy(&inv[0][0], &inv[0][0] + 9, &r[0][0]);
    t = -Dir(t);
    return true;
}

Frame Frame::Then(const Frame& then) const {
    Frame f;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) f.r[i][j] = r[i][0] * then.r[0][j] + r[i][1] * then.r[1][j] + r[i][2] * then.r[2][j];
    f.t = then.Point(t);
    return f;
}

// ---- primitives

bool RayTriangle(const vector3& origin, const vector3& dir, const vector3& v0, const vector3& v1,
                 const vector3& v2, bool cull, float maxDistance, float& t, float& u, float& v) {
    const vector3 e1 = v1 - v0, e2 = v2 - v0;
    const vector3 p = Cross(dir, e2);
    const float det = Dot(e1, p);
    // det = -dir . (e1 x e2): positive when the ray runs against the stored normal.
    if (cull ? !(det > 0.0f) : !(det != 0.0f)) return false;
    const float inv = 1.0f / det;
    const vector3 s = origin - v0;
    const float uu = Dot(s, p) * inv;
    if (!(uu >= 0.0f && uu <= 1.0f)) return false;
    const vector3 q = Cross(s, e1);
    const float vv = Dot(dir, q) * inv;
    if (!(vv >= 0.0f && uu + vv <= 1.0f)) return false;
    const float tt = Dot(e2, q) * inv;
    if (!(tt >= 0.0f && tt <= maxDistance)) return false;
    t = tt;
    u = uu;
    v = vv;
    return true;
}

namespace {

float PointSegmentDistSq(const vector3& p, const vector3& a, const vector3& b) {
    const vector3 ab = b - a;
    const float len = Dot(ab, ab);
    float s = len > 0.0f ? Dot(p - a, ab) / len : 0.0f;
    s = s < 0.0f ? 0.0f : (s > 1.0f ? 1.0f : s);
    const vector3 d = p - (a + ab * s);
    return Dot(d, d);
}

}  // namespace

float PointTriangleDistSq(const vector3& p, const vector3& a, const vector3& b, const vector3& c) {
    const vector3 ab = b - a, ac = c - a;
    const vector3 n = Cross(ab, ac);
    if (!(Dot(n, n) > 0.0f)) {
        // No face to project onto: the nearest of the three edges.
        return std::min({PointSegmentDistSq(p, a, b), PointSegmentDistSq(p, b, c), PointSegmentDistSq(p, c, a)});
    }
    // Voronoi regions of the corners, edges and face.
    const vector3 ap = p - a;
    const float d1 = Dot(ab, ap), d2 = Dot(ac, ap);
    vector3 closest;
    if (d1 <= 0.0f && d2 <= 0.0f) {
        closest = a;
    } else {
        const vector3 bp = p - b;
        const float d3 = Dot(ab, bp), d4 = Dot(ac, bp);
        const vector3 cp = p - c;
        const float d5 = Dot(ab, cp), d6 = Dot(ac, cp);
        const float vc = d1 * d4 - d3 * d2;
        const float vb = d5 * d2 - d1 * d6;
        const float va = d3 * d6 - d5 * d4;
        if (d3 >= 0.0f && d4 <= d3) {
            closest = b;
        } else if (vc <= 0.0f && d1 >= 0.0f && d3 <= 0.0f) {
            closest = a + ab * (d1 / (d1 - d3));
        } else if (d6 >= 0.0f && d5 <= d6) {
            closest = c;
        } else if (vb <= 0.0f && d2 >= 0.0f && d6 <= 0.0f) {
            closest = a + ac * (d2 / (d2 - d6));
        } else if (va <= 0.0f && (d4 - d3) >= 0.0f && (d5 - d6) >= 0.0f) {
            closest = b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
        } else {
            const float denom = va + vb + vc;
            if (!(denom != 0.0f))
                return std::min({PointSegmentDistSq(p, a, b), PointSegmentDistSq(p, b, c), PointSegmentDistSq(p, c, a)});
            closest = a + ab * (vb / denom) + ac * (vc / denom);
        }
    }
    const vector3 d = p - closest;
    return Dot(d, d);
}

namespace {

// The triangle's interval on `axis` against [-r, r]: true when they are apart.
bool ApartFromBox(const vector3& axis, const vector3& a, const vector3& b, const vector3& c, const Box& box) {
    const float pa = Dot(a, axis), pb = Dot(b, axis), pc = Dot(c, axis);
    const float r = std::fabs(Dot(box.axis[0], axis)) + std::fabs(Dot(box.axis[1], axis)) +
                    std::fabs(Dot(box.axis[2], axis));
    return std::min({pa, pb, pc}) > r || std::max({pa, pb, pc}) < -r;
}

bool ApartOn(const vector3& axis, const vector3& a0, const vector3& a1, const vector3& a2, const vector3& b0,
             const vector3& b1, const vector3& b2) {
    const float p0 = Dot(a0, axis), p1 = Dot(a1, axis), p2 = Dot(a2, axis);
    const float q0 = Dot(b0, axis), q1 = Dot(b1, axis), q2 = Dot(b2, axis);
    return std::max({p0, p1, p2}) < std::min({q0, q1, q2}) || std::max({q0, q1, q2}) < std::min({p0, p1, p2});
}

}  // namespace

bool BoxTriangle(const Box& box, const vector3& v0, const vector3& v1, const vector3& v2) {
    // Centred on the box; an axis of zero length never separates.
    const vector3 a = v0 - box.centre, b = v1 - box.centre, c = v2 - box.centre;
    const vector3 edges[3] = {b - a, c - b, a - c};
    for (int i = 0; i < 3; i++)
        if (ApartFromBox(Cross(box.axis[(i + 1) % 3], box.axis[(i + 2) % 3]), a, b, c, box)) return false;
    if (ApartFromBox(Cross(edges[0], edges[1]), a, b, c, box)) return false;
    for (const vector3& e : edges)
        for (const vector3& ax : box.axis)
            if (ApartFromBox(Cross(e, ax), a, b, c, box)) return false;
    return true;
}

bool TriangleTriangle(const vector3& a0, const vector3& a1, const vector3& a2, const vector3& b0,
                      const vector3& b1, const vector3& b2) {
    const vector3 ea[3] = {a1 - a0, a2 - a1, a0 - a2};
    const vector3 eb[3] = {b1 - b0, b2 - b1, b0 - b2};
    const vector3 na = Cross(ea[0], ea[1]), nb = Cross(eb[0], eb[1]);
    if (ApartOn(na, a0, a1, a2, b0, b1, b2) || ApartOn(nb, a0, a1, a2, b0, b1, b2)) return false;
    for (const vector3& e : ea)
        for (const vector3& f : eb)
            if (ApartOn(Cross(e, f), a0, a1, a2, b0, b1, b2)) return false;
    // In-plane axes: they settle coplanar pairs, which the axes above cannot part.
    for (const vector3& e : ea)
        if (ApartOn(Cross(na, e), a0, a1, a2, b0, b1, b2)) return false;
    for (const vector3& f : eb)
        if (ApartOn(Cross(nb, f), a0, a1, a2, b0, b1, b2)) return false;
    return true;
}

Box MakeBox(const matrix44& box, const vector3& h, const Frame& toLocal) {
    Box b;
    b.centre = toLocal.Point(vector3(box.m[3][0], box.m[3][1], box.m[3][2]));
    const float hs[3] = {h.x, h.y, h.z};
    for (int i = 0; i < 3; i++) b.axis[i] = toLocal.Dir(vector3(box.m[i][0], box.m[i][1], box.m[i][2]) * hs[i]);
    return b;
}

void BoxCorners(const matrix44& box, const vector3& h, vector3 corners[8]) {
    const vector3 c(box.m[3][0], box.m[3][1], box.m[3][2]);
    const vector3 x = vector3(box.m[0][0], box.m[0][1], box.m[0][2]) * h.x;
    const vector3 y = vector3(box.m[1][0], box.m[1][1], box.m[1][2]) * h.y;
    const vector3 z = vector3(box.m[2][0], box.m[2][1], box.m[2][2]) * h.z;
    corners[0] = c - x - y - z;
    corners[1] = c + x - y - z;
    corners[2] = c + x + y - z;
    corners[3] = c - x + y - z;
    corners[4] = c - x - y + z;
    corners[5] = c + x - y + z;
    corners[6] = c + x + y + z;
    corners[7] = c - x + y + z;
}

// ---- queries

namespace {

bool ToLocal(const matrix44& world, Frame& toLocal) {
    toLocal = Frame::FromMatrix(world);
    return toLocal.Invert();
}

// A ray prepared for slab tests: reciprocal direction, which bound of a node it meets
// first on each axis, and the axes it runs parallel to.
struct SlabRay {
    float o[3], inv[3];
    bool maxFirst[3];
    bool parallel[3];
    bool anyParallel;
    // Where in a node the bound met first and last on each axis lies (offsets in bytes),
    // so that the common test reads it without choosing.
    size_t nearAt[3], farAt[3];
    float reach;
    SlabRay(const vector3& origin, const vector3& dir, float maxDistance) : reach(maxDistance) {
        for (int j = 0; j < 3; j++) {
            o[j] = Comp(origin, j);
            const float d = Comp(dir, j);
            parallel[j] = std::fabs(d) < 1e-30f;
            inv[j] = parallel[j] ? 0.0f : 1.0f / d;
            maxFirst[j] = inv[j] < 0.0f;
            const size_t minAt = offsetof(TriMesh::Node, min) + sizeof(float) * size_t(j);
            const size_t maxAt = offsetof(TriMesh::Node, max) + sizeof(float) * size_t(j);
            nearAt[j] = maxFirst[j] ? maxAt : minAt;
            farAt[j] = maxFirst[j] ? minAt : maxAt;
        }
        anyParallel = parallel[0] || parallel[1] || parallel[2];
    }
    static float Bound(const TriMesh::Node& n, size_t at) {
        float v;
        std::memcpy(&v, reinterpret_cast<const char*>(&n) + at, sizeof v);
        return v;
    }
    // Without a branch an axis: the walk asks it of every node it reaches, and which way
    // the answer goes is anybody's guess.
    bool Hits(const TriMesh::Node& n) const {
        if (!anyParallel) {
            // The same steps as below for a ray along no axis, with the bounds found
            // by offset.
            float tmin = 0.0f, tmax = reach;
            tmin = std::max(tmin, (Bound(n, nearAt[0]) - o[0]) * inv[0]);
            tmax = std::min(tmax, (Bound(n, farAt[0]) - o[0]) * inv[0]);
            tmin = std::max(tmin, (Bound(n, nearAt[1]) - o[1]) * inv[1]);
            tmax = std::min(tmax, (Bound(n, farAt[1]) - o[1]) * inv[1]);
            tmin = std::max(tmin, (Bound(n, nearAt[2]) - o[2]) * inv[2]);
            tmax = std::min(tmax, (Bound(n, farAt[2]) - o[2]) * inv[2]);
            return tmin <= tmax;
        }
        float tmin = 0.0f, tmax = reach;
        bool inside = true;
        for (int j = 0; j < 3; j++) {
            const float tNear = ((maxFirst[j] ? n.max[j] : n.min[j]) - o[j]) * inv[j];
            const float tFar = ((maxFirst[j] ? n.min[j] : n.max[j]) - o[j]) * inv[j];
            // A parallel axis leaves the range alone and asks only whether the origin
            // lies between the bounds.
            tmin = parallel[j] ? tmin : std::max(tmin, tNear);
            tmax = parallel[j] ? tmax : std::min(tmax, tFar);
            inside &= (!parallel[j]) | ((o[j] >= n.min[j]) & (o[j] <= n.max[j]));
        }
        return inside & (tmin <= tmax);
    }
};

// A box's interval on world axis j and on its own face normals against a node's box.
bool BoxMeetsNode(const TriMesh::Node& n, const Box& b, const vector3 normals[3]) {
    for (int j = 0; j < 3; j++) {
        const float r = std::fabs(Comp(b.axis[0], j)) + std::fabs(Comp(b.axis[1], j)) + std::fabs(Comp(b.axis[2], j));
        const float c = Comp(b.centre, j);
        if (c - r > n.max[j] || c + r < n.min[j]) return false;
    }
    const vector3 nc((n.min[0] + n.max[0]) * 0.5f, (n.min[1] + n.max[1]) * 0.5f, (n.min[2] + n.max[2]) * 0.5f);
    const vector3 nh((n.max[0] - n.min[0]) * 0.5f, (n.max[1] - n.min[1]) * 0.5f, (n.max[2] - n.min[2]) * 0.5f);
    const vector3 d = nc - b.centre;
    for (int i = 0; i < 3; i++) {
        const vector3& ax = normals[i];
        const float rn = std::fabs(ax.x) * nh.x + std::fabs(ax.y) * nh.y + std::fabs(ax.z) * nh.z;
        const float rb = std::fabs(Dot(b.axis[0], ax)) + std::fabs(Dot(b.axis[1], ax)) + std::fabs(Dot(b.axis[2], ax));
        if (std::fabs(Dot(d, ax)) > rn + rb) return false;
    }
    return true;
}

Box NodeBox(const TriMesh::Node& n, const Frame& f) {
    Box b;
    b.centre = f.Point(vector3((n.min[0] + n.max[0]) * 0.5f, (n.min[1] + n.max[1]) * 0.5f, (n.min[2] + n.max[2]) * 0.5f));
    b.axis[0] = f.Dir(vector3((n.max[0] - n.min[0]) * 0.5f, 0, 0));
    b.axis[1] = f.Dir(vector3(0, (n.max[1] - n.min[1]) * 0.5f, 0));
    b.axis[2] = f.Dir(vector3(0, 0, (n.max[2] - n.min[2]) * 0.5f));
    return b;
}

void FaceNormals(const Box& b, vector3 normals[3]) {
    for (int i = 0; i < 3; i++) normals[i] = Cross(b.axis[(i + 1) % 3], b.axis[(i + 2) % 3]);
}

}  // namespace

bool RayStab(const TriMesh& mesh, const matrix44& world, const vector3& origin, const vector3& dir,
             const RaySettings& settings, std::vector<StabbedFace>* faces) {
    if (faces && !settings.firstContact) faces->clear();
    Frame toLocal;
    if (!mesh.IsBuilt() || !ToLocal(world, toLocal)) return false;
    const vector3 o = toLocal.Point(origin), d = toLocal.Dir(dir);
    // The node test may keep a little more than the exact range; the leaf decides.
    const SlabRay slab(o, d, settings.maxDistance * 1.00001f + 1e-6f);
    bool any = Walk(
        mesh, settings.firstContact, [&](const TriMesh::Node& n) { return slab.Hits(n); },
        [&](const TriMesh::LeafTriangle& tri) {
            float t, u, v;
            if (!RayTriangle(o, d, tri.corner[0], tri.corner[1], tri.corner[2], settings.cull, settings.maxDistance, t,
                             u, v))
                return false;
            if (faces && !settings.firstContact) faces->push_back({tri.index, t, u, v});
            return true;
        });
    if (faces && !settings.firstContact)
        std::sort(faces->begin(), faces->end(), [](const StabbedFace& x, const StabbedFace& y) { return x.face < y.face; });
    return any;
}

bool SphereTouched(const TriMesh& mesh, const matrix44& world, const vector3& centre, float radius,
                   bool firstContact, std::vector<uint32_t>* touched) {
    if (touched && !firstContact) touched->clear();
    Frame toLocal;
    if (!mesh.IsBuilt() || !ToLocal(world, toLocal) || !(radius >= 0.0f)) return false;
    const vector3 c = toLocal.Point(centre);
    const float r2 = radius * radius;
    const float reach2 = r2 * 1.00002f + 1e-9f;
    bool any = Walk(
        mesh, firstContact,
        [&](const TriMesh::Node& n) {
            float d2 = 0.0f;
            for (int j = 0; j < 3; j++) {
                const float v = Comp(c, j);
                const float e = v < n.min[j] ? n.min[j] - v : (v > n.max[j] ? v - n.max[j] : 0.0f);
                d2 += e * e;
            }
            return !(d2 > reach2);
        },
        [&](const TriMesh::LeafTriangle& tri) {
            if (!(PointTriangleDistSq(c, tri.corner[0], tri.corner[1], tri.corner[2]) <= r2)) return false;
            if (touched && !firstContact) touched->push_back(tri.index);
            return true;
        });
    if (!firstContact) SortIndices(touched);
    return any;
}

bool BoxTouched(const TriMesh& mesh, const matrix44& world, const matrix44& box, const vector3& halfExtents,
                bool firstContact, std::vector<uint32_t>* touched) {
    if (touched && !firstContact) touched->clear();
    Frame toLocal;
    if (!mesh.IsBuilt() || !ToLocal(world, toLocal)) return false;
    const Box b = MakeBox(box, halfExtents, toLocal);
    vector3 normals[3];
    FaceNormals(b, normals);
    // The node test runs on a box grown a little, so rounding never drops a triangle.
    Box grown = b;
    for (vector3& ax : grown.axis) ax *= 1.00001f;
    bool any = Walk(
        mesh, firstContact, [&](const TriMesh::Node& n) { return BoxMeetsNode(n, grown, normals); },
        [&](const TriMesh::LeafTriangle& tri) {
            if (!BoxTriangle(b, tri.corner[0], tri.corner[1], tri.corner[2])) return false;
            if (touched && !firstContact) touched->push_back(tri.index);
            return true;
        });
    if (!firstContact) SortIndices(touched);
    return any;
}

bool MeshTouched(const TriMesh& meshA, const matrix44& worldA, const TriMesh& meshB, const matrix44& worldB,
                 bool firstContact, std::vector<TrianglePair>* pairs) {
    if (pairs && !firstContact) pairs->clear();
    Frame toA;
    if (!meshA.IsBuilt() || !meshB.IsBuilt() || !ToLocal(worldA, toA)) return false;
    const TriMesh::NodeList& na = meshA.GetNodes();
    const TriMesh::NodeList& nb = meshB.GetNodes();
    if (na.empty() || nb.empty()) return false;
    // B's frame into A's: every test runs in A's frame.
    const Frame bToA = Frame::FromMatrix(worldB).Then(toA);
    const uint32_t* orderA = meshA.GetOrder().data();
    const uint32_t* orderB = meshB.GetOrder().data();
    uint32_t stack[kPairStack][2];
    int top = 0;
    stack[top][0] = 0;
    stack[top][1] = 0;
    top++;
    bool any = false;
    while (top > 0) {
        top--;
        const uint32_t ia = stack[top][0], ib = stack[top][1];
        const TriMesh::Node& a = na[ia];
        const TriMesh::Node& b = nb[ib];
        Box bb = NodeBox(b, bToA);
        vector3 normals[3];
        FaceNormals(bb, normals);
        for (vector3& ax : bb.axis) ax *= 1.00001f;
        if (!BoxMeetsNode(a, bb, normals)) continue;
        if (a.count == 0 || b.count == 0) {
            // Split the inner node with the larger box (A when both are leaves' parents alike).
            const float sa = (a.max[0] - a.min[0]) + (a.max[1] - a.min[1]) + (a.max[2] - a.min[2]);
            const float sb = (b.max[0] - b.min[0]) + (b.max[1] - b.min[1]) + (b.max[2] - b.min[2]);
            if (a.count == 0 && (b.count != 0 || !(sb > sa))) {
                stack[top][0] = a.first;
                stack[top][1] = ib;
                stack[top + 1][0] = a.first + 1;
                stack[top + 1][1] = ib;
            } else {
                stack[top][0] = ia;
                stack[top][1] = b.first;
                stack[top + 1][0] = ia;
                stack[top + 1][1] = b.first + 1;
            }
            top += 2;
            continue;
        }
        for (uint32_t i = a.first; i < a.first + a.count; i++) {
            vector3 a0, a1, a2;
            meshA.GetTriangle(int(orderA[i]), a0, a1, a2);
            for (uint32_t k = b.first; k < b.first + b.count; k++) {
                vector3 b0, b1, b2;
                meshB.GetTriangle(int(orderB[k]), b0, b1, b2);
                if (!TriangleTriangle(a0, a1, a2, bToA.Point(b0), bToA.Point(b1), bToA.Point(b2))) continue;
                any = true;
                if (firstContact) return true;
                if (pairs) pairs->push_back({orderA[i], orderB[k]});
            }
        }
    }
    if (pairs && !firstContact)
        std::sort(pairs->begin(), pairs->end(),
                  [](const TrianglePair& x, const TrianglePair& y) { return x.a != y.a ? x.a < y.a : x.b < y.b; });
    return any;
}

}  // namespace meshquery
