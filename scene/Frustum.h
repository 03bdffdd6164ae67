#pragma once
// Six planes bounding what a camera sees, for culling spheres and boxes. Built from a
// world-to-clip matrix in the engine's convention (row vectors, clip depth -1..1).
#include "kernel/matrix44.h"
#include "kernel/vector3.h"

class Frustum {
public:
    // n·p + d >= 0 on the inner side; n has unit length.
    struct Plane {
        vector3 n;
        float d = 0.0f;
        float Distance(const vector3& p) const { return n.x * p.x + n.y * p.y + n.z * p.z + d; }
    };
    enum Side { Outside = 0, Straddles = 1, Inside = 2 };
    static constexpr int NumPlanes = 6;

    Frustum() = default;
    // The planes of `worldToClip` (view times projection); left, right, bottom, top,
    // near, far.
    explicit Frustum(const matrix44& worldToClip);

    // True unless the sphere lies wholly outside one plane. A negative or NaN radius
    // meets nothing.
    bool SphereMeets(const vector3& centre, float radius) const {
        for (const Plane& p : planes)
            if (!(p.Distance(centre) >= -radius)) return false;
        return true;
    }
    // The same test against the planes whose bits are set in `mask` only.
    bool SphereMeets(const vector3& centre, float radius, unsigned mask) const {
        for (int i = 0; i < NumPlanes; i++)
            if ((mask >> i & 1u) && !(planes[i].Distance(centre) >= -radius)) return false;
        return true;
    }
    // Where the box centre ± half lies against the planes in `mask`. Outside and Inside
    // are answered only with a margin, so that rounding never makes a box test disagree
    // with the sphere test of something inside the box; `straddled` gets the planes the
    // box may cross.
    Side ClassifyBox(const vector3& centre, const vector3& half, unsigned mask, unsigned& straddled) const;

    Plane planes[NumPlanes];
};
