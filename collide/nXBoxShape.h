#pragma once
// A box of `sides` around its origin (script class "nxboxshape"): tested against boxes,
// spheres and triangle meshes; a line hits the first face it enters.
#include "collide/nXShape.h"

class nXBoxShape : public nXShape {
public:
    static const nClassInfo classInfo;

    int GetType() const override { return BOX; }
    bool Collide(const matrix44& myMatrix, nCollideShape2* other, const matrix44& otherMatrix,
                 nCollideReportBuffer* buffer, const vector3& myMotion, const vector3& otherMotion) override;
    bool LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                   const vector3& myMotion) override;
    // The twelve edges; the caller sets matrix and colour.
    void Visualize(nGfxServer* gfx) override;
    void SetBoxSides(const vector3& sides) override;
    vector3 GetBoxSides() override { return sides_; }

private:
    vector3 sides_ = vector3(1.0f, 1.0f, 1.0f);
};
