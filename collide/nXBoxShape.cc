#include "collide/nXBoxShape.h"

#include "collide/nCollideGeometry.h"
#include "collide/nCollideReportBuffer.h"
#include "collide/nXPairTests.h"
#include "collide/nXTriangleShape2.h"
#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"

const nClassInfo nXBoxShape::classInfo = nClassInfo::Make<nXBoxShape>("nxboxshape", "nxshape");

void nXBoxShape::SetBoxSides(const vector3& sides) {
    sides_ = sides;
    nXShape::SetBoxSides(sides);
}

bool nXBoxShape::Collide(const matrix44& myMatrix, nCollideShape2* other, const matrix44& otherMatrix,
                         nCollideReportBuffer* buffer, const vector3& myMotion, const vector3& otherMotion) {
    switch (other->GetType()) {
        case BOX:
            return nXPairTests::BoxBox(sides_, myMatrix, myMotion, other->GetBoxSides(), otherMatrix, buffer);
        case SPHERE: {
            // The sphere's test with the roles exchanged, then each report turned back.
            const int first = buffer->numReports;
            bool hit = nXPairTests::SphereBox(other->GetRadius(), otherMatrix, otherMotion, sides_, myMatrix,
                                              myMotion, buffer);
            SwapReportSides(buffer, first);
            return hit;
        }
        case CYLINDER: return false;
        case MESH:
            if (auto* mesh = dynamic_cast<nXTriangleShape2*>(other)) {
                return nXPairTests::BoxMesh(sides_, myMatrix, myMotion, mesh, otherMatrix, buffer);
            }
            return false;
        default: nKernelServer::FatalError("nXBoxShape::Collide, no collision function aviable!\n");
    }
}

bool nXBoxShape::LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                           const vector3&) {
    vector3 corners[8];
    triangle faces[6];
    nCollideGeometry::BoxCorners(sides_, myMatrix, nullptr, corners);
    nCollideGeometry::BoxFaces(corners, faces);
    for (const triangle& f : faces) {
        float t;
        if (!nCollideGeometry::SegmentFace(line.b, line.m, f, t)) continue;
        if (!buffer->WantsReports()) return true;
        if (buffer->LineHitsFull()) return true;
        nCollideLineHit& hit = buffer->lineHits[buffer->numLineHits++];
        hit.position = line.ipol(t);
        hit.normal = nCollideGeometry::UnitNormal(f);
        hit.value = (hit.position - line.b).Len();
        return true;
    }
    return false;
}

void nXBoxShape::Visualize(nGfxServer* gfx) {
    matrix44 ident;
    vector3 corners[8];
    nCollideGeometry::Edge edges[12];
    nCollideGeometry::BoxCorners(sides_, ident, nullptr, corners);
    nCollideGeometry::BoxEdges(corners, edges);
    gfx->Begin(3);
    for (const auto& e : edges) {
        const vector3 end = e.start + e.disp;
        gfx->Coord(e.start.x, e.start.y, e.start.z);
        gfx->Coord(end.x, end.y, end.z);
    }
    gfx->End();
}
