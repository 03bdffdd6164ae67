#pragma once
// A sphere of the shape's radius around its origin (script class "nxsphereshape"):
// tested against boxes, spheres and triangle meshes, and against lines.
#include "collide/nXShape.h"

class nXSphereShape : public nXShape {
public:
    static const nClassInfo classInfo;

    int GetType() const override { return SPHERE; }
    bool Collide(const matrix44& myMatrix, nCollideShape2* other, const matrix44& otherMatrix,
                 nCollideReportBuffer* buffer, const vector3& myMotion, const vector3& otherMotion) override;
    // Hit when the line passes the centre closer than the radius; the hit is the line's
    // point nearest the centre, its value the squared distance.
    bool LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                   const vector3& myMotion) override;
};
