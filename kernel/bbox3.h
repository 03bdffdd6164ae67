#pragma once
// Axis-aligned box.

#include "kernel/vector3.h"

class bbox3 {
public:
    vector3 vmin;
    vector3 vmax;

    bbox3() {}
    bbox3(const vector3& center, const vector3& extent) { SetCenterExtent(center, extent); }

    void SetCenterExtent(const vector3& center, const vector3& extent) {
        vmin = center - extent;
        vmax = center + extent;
    }

    // Grows the box to include p.
    void Extend(const vector3& p) {
        if (p.x < vmin.x) vmin.x = p.x;
        if (p.y < vmin.y) vmin.y = p.y;
        if (p.z < vmin.z) vmin.z = p.z;
        if (p.x > vmax.x) vmax.x = p.x;
        if (p.y > vmax.y) vmax.y = p.y;
        if (p.z > vmax.z) vmax.z = p.z;
    }

    vector3 center() const { return (vmin + vmax) * 0.5f; }
    vector3 extent() const { return (vmax - vmin) * 0.5f; }
};
