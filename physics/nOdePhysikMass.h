#pragma once
// A mass on ODE: the shape's dMass, rebuilt from density, shape, offset and rotation
// when one of them changed since the last Get.
#include <ode/ode.h>

#include "physics/nPhysikMass.h"

class nOdePhysikMass : public nPhysikMass {
public:
    nOdePhysikMass();
    // The ODE mass, rebuilt first when a setter ran since the last call. A shape of
    // zero size gives a zero mass, which a body refuses to take.
    virtual const dMass& Get();
    // How often Get rebuilt the mass.
    int GetRebuildCount() const { return rebuilds; }

protected:
    // The shape's mass from density and sizes, centred at the origin.
    virtual void SetShapeMass(dMass& m) const;

    dMass mass;
    int rebuilds = 0;
};
