#pragma once
// A line segment as its start point and the displacement to its end: picking rays and
// the collide line checks.

#include "kernel/vector3.h"

class line3 {
public:
    vector3 b;  // start
    vector3 m;  // displacement; the end is b + m

    line3() {}
    line3(const vector3& start, const vector3& end) : b(start), m(end - start) {}

    void set(const vector3& start, const vector3& end) {
        b = start;
        m = end - start;
    }
    const vector3& start() const { return b; }
    vector3 end() const { return b + m; }
    const vector3& vec() const { return m; }
    float len() const { return m.Len(); }
    // The point at parameter t (0 the start, 1 the end).
    vector3 ipol(float t) const { return b + m * t; }
};
