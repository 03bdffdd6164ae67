#pragma once
// A solid sphere mass.
#include "physics/nOdePhysikMass.h"

class nOdePhysikSphereMass : public nOdePhysikMass {
public:
    int GetType() const override { return SPHERE; }
    void SetRadius(float r) override;
    float GetRadius() const override { return radius; }
    void Visualize(nGfxServer* gfx, const matrix44& bodyMatrix) override;

protected:
    void SetShapeMass(dMass& m) const override;

private:
    float radius = 0.0f;
};
