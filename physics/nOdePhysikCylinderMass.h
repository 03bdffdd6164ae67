#pragma once
// A capped-cylinder mass along its z axis, given by radius and length.
#include "physics/nOdePhysikMass.h"

class nOdePhysikCylinderMass : public nOdePhysikMass {
public:
    int GetType() const override { return CYLINDER; }
    void SetCylinder(const float rl[2]) override;
    const float* GetCylinder() const override { return radiusLength; }
    void Visualize(nGfxServer* gfx, const matrix44& bodyMatrix) override;

protected:
    void SetShapeMass(dMass& m) const override;

private:
    float radiusLength[2] = {1.0f, 1.0f};
};
