#include "collide/nXSphereShape.h"

#include "collide/nCollideGeometry.h"
#include "collide/nCollideReportBuffer.h"
#include "collide/nXPairTests.h"
#include "collide/nXTriangleShape2.h"
#include "kernel/nKernelServer.h"

const nClassInfo nXSphereShape::classInfo = nClassInfo::Make<nXSphereShape>("nxsphereshape", "nxshape");

bool nXSphereShape::Collide(const matrix44& myMatrix, nCollideShape2* other, const matrix44& otherMatrix,
                            nCollideReportBuffer* buffer, const vector3& myMotion, const vector3& otherMotion) {
    switch (other->GetType()) {
        case BOX:
            return nXPairTests::SphereBox(radius, myMatrix, myMotion, other->GetBoxSides(), otherMatrix, otherMotion,
                                          buffer);
        case SPHERE:
            return nXPairTests::SphereSphere(radius, myMatrix, myMotion, other->GetRadius(), otherMatrix, otherMotion,
                                             buffer);
        case CYLINDER: return false;
        case MESH:
            if (auto* mesh = dynamic_cast<nXTriangleShape2*>(other)) {
                return nXPairTests::SphereMesh(radius, myMatrix, myMotion, mesh, otherMatrix, buffer);
            }
            return false;
        default: nKernelServer::FatalError("nXSphereShape::Collide, no collision function aviable!\n");
    }
}

bool nXSphereShape::LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                              const vector3&) {
    const vector3 Q = myMatrix.Translation();
    const float dd = line.m % line.m;
    // A line of no length is its start point.
    const float t = dd > 0.0f ? ((Q - line.b) % line.m) / dd : 0.0f;
    const vector3 p = line.ipol(t);
    const float d2 = (Q - p) % (Q - p);
    if (!(d2 < radius * radius)) return false;
    if (!buffer->WantsReports()) return true;
    if (buffer->LineHitsFull()) return true;
    nCollideLineHit& hit = buffer->lineHits[buffer->numLineHits++];
    hit.position = p;
    // From the centre towards the hit; a line through the centre faces back along itself.
    vector3 n = p - Q;
    if (n.Len() > 1e-7f) {
        n.Norm();
    } else if (dd > 0.0f) {
        n = nCollideGeometry::Unit(-line.m);
    } else {
        n = vector3(0.0f, 1.0f, 0.0f);
    }
    hit.normal = n;
    hit.value = d2;
    return true;
}
