#include "collide/nCollideGeometry.h"

#include <cmath>

void nCollideGeometry::BoxCorners(const vector3& sides, const matrix44& m, const vector3* motion, vector3 c[8]) {
    const vector3 X = vector3(m.m[0][0], m.m[0][1], m.m[0][2]) * (sides.x * 0.5f);
    const vector3 Y = vector3(m.m[1][0], m.m[1][1], m.m[1][2]) * (sides.y * 0.5f);
    const vector3 Z = vector3(m.m[2][0], m.m[2][1], m.m[2][2]) * (sides.z * 0.5f);
    const vector3 T = m.Translation();
    c[0] = T - X - Y - Z;
    c[1] = T + X - Y - Z;
    c[2] = T + X - Y + Z;
    c[3] = T - X - Y + Z;
    c[4] = T - X + Y - Z;
    c[5] = T + X + Y - Z;
    c[6] = T + X + Y + Z;
    c[7] = T - X + Y + Z;
    if (!motion || (*motion % *motion) <= 0.0f) return;
    const vector3& mv = *motion;
    const float dx = std::fabs(X % mv), dy = std::fabs(Y % mv), dz = std::fabs(Z % mv);
    static const int pos[3][4] = {{1, 2, 5, 6}, {4, 5, 6, 7}, {2, 3, 6, 7}};
    static const int neg[3][4] = {{0, 3, 4, 7}, {0, 1, 2, 3}, {0, 1, 4, 5}};
    int axis = 2;
    if (dx > dy && dx > dz) axis = 0;
    else if (dy > dx && dy > dz) axis = 1;
    const vector3& a = axis == 0 ? X : (axis == 1 ? Y : Z);
    const int* face = (a % mv) > 0.0f ? pos[axis] : neg[axis];
    for (int i = 0; i < 4; i++) c[face[i]] += mv;
}

void nCollideGeometry::BoxEdges(const vector3 c[8], Edge e[12]) {
    static const int ends[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {1, 5},
                                    {2, 6}, {3, 7}, {4, 5}, {5, 6}, {6, 7}, {7, 4}};
    for (int i = 0; i < 12; i++) {
        e[i].start = c[ends[i][0]];
        e[i].disp = c[ends[i][1]] - c[ends[i][0]];
    }
}

void nCollideGeometry::BoxFaces(const vector3 c[8], triangle f[6]) {
    static const int idx[6][3] = {{0, 1, 3}, {0, 4, 1}, {1, 5, 2}, {3, 2, 7}, {0, 3, 4}, {5, 4, 6}};
    for (int i = 0; i < 6; i++) {
        f[i].point = c[idx[i][0]];
        f[i].edge1 = c[idx[i][1]] - c[idx[i][0]];
        f[i].edge2 = c[idx[i][2]] - c[idx[i][0]];
    }
}

namespace {

// The crossing parameter and the two area coordinates of a segment against the plane of
// (P, E1, E2); false when the parameter is outside the segment or the face degenerate.
bool Crossing(const vector3& start, const vector3& disp, const triangle& tri, const vector3& n, float nd, float& t,
              float& U, float& V, float& adet) {
    t = -((start - tri.point) % n) / nd;
    if (!(t >= -0.0001f && t <= 1.0001f)) return false;
    const vector3 q = start + disp * t - tri.point;
    const float a = q % tri.edge1, b = q % tri.edge2;
    const float e11 = tri.edge1 % tri.edge1, e12 = tri.edge1 % tri.edge2, e22 = tri.edge2 % tri.edge2;
    adet = std::fabs(e11 * e22 - e12 * e12);
    if (!(adet > 0.0f)) return false;
    U = a * e22 - b * e12;
    V = b * e11 - a * e12;
    return true;
}

bool InTriangle(float U, float V, float adet) {
    return U >= -0.0001f && V >= -0.0001f && U + V <= adet + 0.0001f;
}

}  // namespace

bool nCollideGeometry::SegmentFace(const vector3& start, const vector3& disp, const triangle& face, const vector3& n,
                                   float& t) {
    const float nd = n % disp;
    if (!(nd < -0.0001f)) return false;
    float U, V, adet;
    if (!Crossing(start, disp, face, n, nd, t, U, V, adet)) return false;
    const float u = U / adet, v = V / adet;
    return u >= -0.0001f && u <= 1.0001f && v >= -0.0001f && v <= 1.0001f;
}

bool nCollideGeometry::SegmentTriangle(const vector3& start, const vector3& disp, const triangle& tri, float& t) {
    const vector3 n = tri.edge1 * tri.edge2;
    const float nd = n % disp;
    if (!(nd < -0.0001f)) return false;
    float U, V, adet;
    return Crossing(start, disp, tri, n, nd, t, U, V, adet) && InTriangle(U, V, adet);
}

bool nCollideGeometry::SegmentTriangleTwoSided(const vector3& start, const vector3& disp, const triangle& tri,
                                               float& t) {
    const vector3 n = tri.edge1 * tri.edge2;
    const float nd = n % disp;
    if (!(nd * nd > 0.0001f * (n % n) * (disp % disp)) || nd == 0.0f) return false;
    float U, V, adet;
    return Crossing(start, disp, tri, n, nd, t, U, V, adet) && InTriangle(U, V, adet);
}

nCollideGeometry::Plane nCollideGeometry::PlaneFrom(const vector3& p, const vector3& a, const vector3& b) {
    Plane pl;
    pl.normal = Unit((a - p) * (b - p));
    pl.offset = -(pl.normal % p);
    return pl;
}

vector3 nCollideGeometry::UnitNormal(const triangle& t) {
    return Unit(t.edge1 * t.edge2);
}

namespace {

float Clamp01(float x) {
    return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x);
}

// n / d, 0 when d is not positive (degenerate faces and triangles).
float SafeDiv(float n, float d) {
    return d > 0.0f ? n / d : 0.0f;
}

}  // namespace

vector3 nCollideGeometry::ClosestOnFace(const triangle& f, const vector3& p) {
    const vector3 d = p - f.point;
    const float u = Clamp01(SafeDiv(d % f.edge1, f.edge1 % f.edge1));
    const float v = Clamp01(SafeDiv(d % f.edge2, f.edge2 % f.edge2));
    return f.point + f.edge1 * u + f.edge2 * v;
}

vector3 nCollideGeometry::ClosestOnTriangle(const triangle& tri, const vector3& p) {
    const vector3& a = tri.point;
    const vector3& ab = tri.edge1;
    const vector3& ac = tri.edge2;
    const vector3 b = a + ab, c = a + ac;
    const vector3 ap = p - a;
    const float d1 = ab % ap, d2 = ac % ap;
    if (d1 <= 0.0f && d2 <= 0.0f) return a;
    const vector3 bp = p - b;
    const float d3 = ab % bp, d4 = ac % bp;
    if (d3 >= 0.0f && d4 <= d3) return b;
    const float vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0f && d1 >= 0.0f && d3 <= 0.0f) return a + ab * SafeDiv(d1, d1 - d3);
    const vector3 cp = p - c;
    const float d5 = ab % cp, d6 = ac % cp;
    if (d6 >= 0.0f && d5 <= d6) return c;
    const float vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0f && d2 >= 0.0f && d6 <= 0.0f) return a + ac * SafeDiv(d2, d2 - d6);
    const float va = d3 * d6 - d5 * d4;
    if (va <= 0.0f && (d4 - d3) >= 0.0f && (d5 - d6) >= 0.0f) {
        return b + (c - b) * SafeDiv(d4 - d3, (d4 - d3) + (d5 - d6));
    }
    const float sum = va + vb + vc;
    if (!(sum > 0.0f)) return a;
    return a + ab * (vb / sum) + ac * (vc / sum);
}
