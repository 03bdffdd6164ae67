#include "collide/nXCylinderShape.h"

#include <cmath>

#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"

const nClassInfo nXCylinderShape::classInfo = nClassInfo::Make<nXCylinderShape>("nxcylindershape", "nxshape");

void nXCylinderShape::SetCylinderParams(const float params[2]) {
    params_[0] = params[0];
    params_[1] = params[1];
    nXShape::SetCylinderParams(params);
}

bool nXCylinderShape::Collide(const matrix44&, nCollideShape2* other, const matrix44&, nCollideReportBuffer*,
                              const vector3&, const vector3&) {
    const int type = other->GetType();
    if (type < BOX || type > MESH) nKernelServer::FatalError("nXCylinderShape::Collide, no collision function aviable!\n");
    return false;
}

bool nXCylinderShape::LineCheck(const matrix44&, const line3&, nCollideReportBuffer*, const vector3&) {
    return false;
}

void nXCylinderShape::Visualize(nGfxServer* gfx) {
    const float r = params_[0], l = params_[1];
    const float pi = 3.14159265f;
    const float step = pi / 6.0f;
    gfx->Begin(3);
    gfx->Coord(0.0f, 0.0f, -l * 0.5f);
    gfx->Coord(0.0f, 0.0f, l * 0.5f);
    for (int i = 0; i < 6; i++) {
        const float a = -pi * 0.5f + float(i) * step;
        const float b = a + step;
        gfx->Coord(0.0f, r * std::sin(a), r * std::cos(a) + l);
        gfx->Coord(0.0f, r * std::sin(b), r * std::cos(b) + l);
        gfx->Coord(r * std::sin(a), 0.0f, r * std::cos(a) + l);
        gfx->Coord(r * std::sin(b), 0.0f, r * std::cos(b) + l);
    }
    gfx->End();
}
