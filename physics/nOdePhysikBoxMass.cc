#include "physics/nOdePhysikBoxMass.h"

#include "gfx/nGfxServer.h"

void nOdePhysikBoxMass::SetBox(const vector3& s) {
    nOdePhysikMass::SetBox(s);
    sides = s;
}

void nOdePhysikBoxMass::SetShapeMass(dMass& m) const {
    dMassSetBox(&m, density, sides.x, sides.y, sides.z);
}

void nOdePhysikBoxMass::Visualize(nGfxServer* gfx, const matrix44& bodyMatrix) {
    const float h[3] = {0.45f * sides.x, 0.45f * sides.y, 0.45f * sides.z};
    BeginDraw(gfx, bodyMatrix);
    // Each of the twelve edges runs along one axis between two corners that differ in
    // that coordinate only.
    for (int axis = 0; axis < 3; axis++) {
        int u = (axis + 1) % 3, v = (axis + 2) % 3;
        for (int k = 0; k < 4; k++) {
            float p[3];
            p[u] = (k & 1) ? h[u] : -h[u];
            p[v] = (k & 2) ? h[v] : -h[v];
            p[axis] = -h[axis];
            gfx->Coord(p[0], p[1], p[2]);
            p[axis] = h[axis];
            gfx->Coord(p[0], p[1], p[2]);
        }
    }
    EndDraw(gfx);
}
