#include "physics/nOdePhysikCylinderMass.h"

#include <cmath>
#include <numbers>

#include "gfx/nGfxServer.h"

void nOdePhysikCylinderMass::SetCylinder(const float rl[2]) {
    nOdePhysikMass::SetCylinder(rl);
    radiusLength[0] = rl[0];
    radiusLength[1] = rl[1];
}

void nOdePhysikCylinderMass::SetShapeMass(dMass& m) const {
    // Direction 3: the cylinder's axis is z.
    dMassSetCapsule(&m, density, 3, radiusLength[0], radiusLength[1]);
}

void nOdePhysikCylinderMass::Visualize(nGfxServer* gfx, const matrix44& bodyMatrix) {
    // End circles in 7.5-degree segments, joined by a line every 90 degrees.
    const float r = 0.9f * radiusLength[0];
    const float z = 0.45f * radiusLength[1];
    const float step = std::numbers::pi_v<float> / 24.0f;
    BeginDraw(gfx, bodyMatrix);
    for (int i = 0; i < 48; i++) {
        float c0 = std::cos(float(i) * step) * r, s0 = std::sin(float(i) * step) * r;
        float c1 = std::cos(float(i + 1) * step) * r, s1 = std::sin(float(i + 1) * step) * r;
        gfx->Coord(c0, s0, -z);
        gfx->Coord(c1, s1, -z);
        gfx->Coord(c0, s0, z);
        gfx->Coord(c1, s1, z);
        if (i % 12 == 0) {
            gfx->Coord(c0, s0, -z);
            gfx->Coord(c0, s0, z);
        }
    }
    EndDraw(gfx);
}
