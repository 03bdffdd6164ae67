#include "physics/nOdePhysikSphereMass.h"

#include <cmath>
#include <numbers>

#include "gfx/nGfxServer.h"

void nOdePhysikSphereMass::SetRadius(float r) {
    nOdePhysikMass::SetRadius(r);
    radius = r;
}

void nOdePhysikSphereMass::SetShapeMass(dMass& m) const {
    dMassSetSphere(&m, density, radius);
}

void nOdePhysikSphereMass::Visualize(nGfxServer* gfx, const matrix44& bodyMatrix) {
    // Three circles in the coordinate planes, 10-degree segments.
    const float r = 0.9f * radius;
    const float step = std::numbers::pi_v<float> / 18.0f;
    BeginDraw(gfx, bodyMatrix);
    for (int i = 0; i < 36; i++) {
        float s0 = std::sin(float(i) * step) * r, c0 = std::cos(float(i) * step) * r;
        float s1 = std::sin(float(i + 1) * step) * r, c1 = std::cos(float(i + 1) * step) * r;
        gfx->Coord(c0, s0, 0.0f);
        gfx->Coord(c1, s1, 0.0f);
        gfx->Coord(0.0f, c0, s0);
        gfx->Coord(0.0f, c1, s1);
        gfx->Coord(s0, 0.0f, c0);
        gfx->Coord(s1, 0.0f, c1);
    }
    EndDraw(gfx);
}
