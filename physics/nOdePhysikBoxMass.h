#pragma once
// A solid box mass given by its full side lengths.
#include "physics/nOdePhysikMass.h"

class nOdePhysikBoxMass : public nOdePhysikMass {
public:
    int GetType() const override { return BOX; }
    void SetBox(const vector3& s) override;
    const vector3& GetBox() const override { return sides; }
    void Visualize(nGfxServer* gfx, const matrix44& bodyMatrix) override;

protected:
    void SetShapeMass(dMass& m) const override;

private:
    vector3 sides;
};
