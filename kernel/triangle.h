#pragma once
// Triangle as its first corner and the two edges leaving it.

#include "kernel/vector3.h"

class triangle {
public:
    vector3 point;
    vector3 edge1;
    vector3 edge2;

    triangle() {}
    triangle(const vector3& p0, const vector3& p1, const vector3& p2) { Set(p0, p1, p2); }

    void Set(const vector3& p0, const vector3& p1, const vector3& p2) {
        point = p0;
        edge1 = p1 - p0;
        edge2 = p2 - p0;
    }

    // Corner i (0..2).
    vector3 Point(int i) const {
        if (i == 1) return point + edge1;
        if (i == 2) return point + edge2;
        return point;
    }

    // Unit normal; a degenerate triangle gives its (short) unnormalised cross product.
    vector3 Normal() const {
        vector3 n = edge1 * edge2;
        n.Norm();
        return n;
    }
};
