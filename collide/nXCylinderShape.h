#pragma once
// A cylinder of radius and length along z (script class "nxcylindershape"). It has no
// exact tests: it never collides and no line hits it; only its bounding sphere counts.
#include "collide/nXShape.h"

class nXCylinderShape : public nXShape {
public:
    static const nClassInfo classInfo;

    int GetType() const override { return CYLINDER; }
    bool Collide(const matrix44& myMatrix, nCollideShape2* other, const matrix44& otherMatrix,
                 nCollideReportBuffer* buffer, const vector3& myMotion, const vector3& otherMotion) override;
    bool LineCheck(const matrix44& myMatrix, const line3& line, nCollideReportBuffer* buffer,
                   const vector3& myMotion) override;
    // The axis and two half circles; the caller sets matrix and colour.
    void Visualize(nGfxServer* gfx) override;
    void SetCylinderParams(const float params[2]) override;
    void GetCylinderParams(float params[2]) override {
        params[0] = params_[0];
        params[1] = params_[1];
    }

private:
    float params_[2] = {1.0f, 2.0f};  // radius, length
};
