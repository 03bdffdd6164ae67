#pragma once
// The geometry the exact collide shapes share, float32 throughout: box corners (stretched
// over a motion), edges and faces in their fixed orders, one-sided segment tests against
// faces and triangles, planes and closest points.
#include <cmath>

#include "kernel/matrix44.h"
#include "kernel/triangle.h"
#include "kernel/vector3.h"

class nCollideGeometry {
public:
    struct Edge {
        vector3 start;
        vector3 disp;  // start to end
    };
    struct Plane {
        vector3 normal;
        float offset = 0.0f;
        float Value(const vector3& x) const { return (normal % x) + offset; }
    };

    // The eight corners of a box of `sides` placed by `m`. With a motion of non-zero
    // length, the face that leads along it is moved by it (the box stretched over its
    // motion).
    static void BoxCorners(const vector3& sides, const matrix44& m, const vector3* motion, vector3 corners[8]);
    static void BoxEdges(const vector3 corners[8], Edge edges[12]);
    // Six faces, E1 x E2 pointing out of the box: -Y, -Z, +X, +Z, -X, +Y.
    static void BoxFaces(const vector3 corners[8], triangle faces[6]);

    // Segment start + t * disp entering the parallelogram or triangle from the side its
    // normal points to; t in [-0.0001, 1.0001]. False for a segment that runs along or
    // away from it, and for degenerate faces.
    static bool SegmentFace(const vector3& start, const vector3& disp, const triangle& face, float& t) {
        return SegmentFace(start, disp, face, face.edge1 * face.edge2, t);
    }
    // The same with the face's E1 x E2 computed once by the caller.
    static bool SegmentFace(const vector3& start, const vector3& disp, const triangle& face, const vector3& n,
                            float& t);
    static bool SegmentTriangle(const vector3& start, const vector3& disp, const triangle& tri, float& t);
    // From either side, as long as the segment is not nearly parallel.
    static bool SegmentTriangleTwoSided(const vector3& start, const vector3& disp, const triangle& tri, float& t);

    // A face or triangle with what every segment test against it needs, computed once.
    struct Prepared {
        const triangle* tri = nullptr;
        vector3 n;  // E1 x E2
        float e11 = 0.0f, e12 = 0.0f, e22 = 0.0f, adet = 0.0f;
    };
    static void Prepare(const triangle& tri, Prepared& out) {
        out.tri = &tri;
        out.n = tri.edge1 * tri.edge2;
        out.e11 = tri.edge1 % tri.edge1;
        out.e12 = tri.edge1 % tri.edge2;
        out.e22 = tri.edge2 % tri.edge2;
        out.adet = std::fabs(out.e11 * out.e22 - out.e12 * out.e12);
    }
    // SegmentFace against a prepared face, for the loops that test many edges.
    [[gnu::always_inline]] static bool SegmentFace(const vector3& start, const vector3& disp, const Prepared& f,
                                                    float& t) {
        const float nd = f.n % disp;
        if (!(nd < -0.0001f)) return false;
        const triangle& tri = *f.tri;
        const float sn = (start - tri.point) % f.n;
        // Most edges miss the plane within their length: a loose bound without the
        // division lets them go (t = -sn / nd, nd < 0, must lie in [-0.0001, 1.0001]).
        if (sn < 0.0002f * nd || sn > -1.0002f * nd) return false;
        t = -sn / nd;
        if (!(t >= -0.0001f && t <= 1.0001f)) return false;
        if (!(f.adet > 0.0f)) return false;
        const vector3 q = start + disp * t - tri.point;
        const float a = q % tri.edge1, b = q % tri.edge2;
        const float U = a * f.e22 - b * f.e12, V = b * f.e11 - a * f.e12;
        // The same loose bound before the divisions.
        if (U < -0.0002f * f.adet || U > 1.0002f * f.adet || V < -0.0002f * f.adet || V > 1.0002f * f.adet) {
            return false;
        }
        const float u = U / f.adet, v = V / f.adet;
        return u >= -0.0001f && u <= 1.0001f && v >= -0.0001f && v <= 1.0001f;
    }

    // Plane through p, a, b: normal (a - p) x (b - p), unit when longer than 1e-7.
    static Plane PlaneFrom(const vector3& p, const vector3& a, const vector3& b);
    // E1 x E2, unit when longer than 1e-7.
    static vector3 UnitNormal(const triangle& t);
    // Closest point to `p` on the parallelogram P + u E1 + v E2 (u, v in [0, 1]).
    static vector3 ClosestOnFace(const triangle& face, const vector3& p);
    // Closest point to `p` on the triangle, edges and corners included.
    static vector3 ClosestOnTriangle(const triangle& tri, const vector3& p);
    // `v` turned by the 3x3 part of `m`.
    static vector3 Rotate(const matrix44& m, const vector3& v) {
        return vector3(m.m[0][0] * v.x + m.m[1][0] * v.y + m.m[2][0] * v.z,
                       m.m[0][1] * v.x + m.m[1][1] * v.y + m.m[2][1] * v.z,
                       m.m[0][2] * v.x + m.m[1][2] * v.y + m.m[2][2] * v.z);
    }
    // Divides by the length when it exceeds 1e-7.
    static vector3 Unit(const vector3& v) {
        vector3 r = v;
        r.Norm();
        return r;
    }
};
