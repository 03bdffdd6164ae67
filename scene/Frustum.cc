#include "scene/Frustum.h"

#include <cmath>

Frustum::Frustum(const matrix44& m) {
    // Clip coordinates are p * M: each clip component is a column of M.
    auto col = [&m](int c, float s, Plane& p) {
        p.n = vector3(m.m[0][3] + s * m.m[0][c], m.m[1][3] + s * m.m[1][c], m.m[2][3] + s * m.m[2][c]);
        p.d = m.m[3][3] + s * m.m[3][c];
        const float len = p.n.Len();
        if (len > 0.0f) {
            p.n *= 1.0f / len;
            p.d /= len;
        }
    };
    col(0, 1.0f, planes[0]);
    col(0, -1.0f, planes[1]);
    col(1, 1.0f, planes[2]);
    col(1, -1.0f, planes[3]);
    col(2, 1.0f, planes[4]);
    col(2, -1.0f, planes[5]);
}

Frustum::Side Frustum::ClassifyBox(const vector3& c, const vector3& h, unsigned mask, unsigned& straddled) const {
    straddled = 0;
    // Rounding of the distances grows with the coordinates involved.
    const float size = std::fabs(c.x) + std::fabs(c.y) + std::fabs(c.z);
    for (int i = 0; i < NumPlanes; i++) {
        if (!(mask >> i & 1u)) continue;
        const Plane& p = planes[i];
        const float dist = p.Distance(c);
        const float reach = h.x * std::fabs(p.n.x) + h.y * std::fabs(p.n.y) + h.z * std::fabs(p.n.z);
        const float margin = reach * 1e-3f + (size + std::fabs(p.d)) * 1e-5f + 1e-4f;
        if (dist < -reach - margin) return Outside;
        if (!(dist >= reach + margin)) straddled |= 1u << i;
    }
    return straddled ? Straddles : Inside;
}
