#include "physics/nOdePhysikMass.h"

#include "kernel/nKernelServer.h"

nOdePhysikMass::nOdePhysikMass() {
    dMassSetZero(&mass);
}

void nOdePhysikMass::SetShapeMass(dMass&) const {
    nKernelServer::FatalError("nOdePhysikMass::Get, pure virtual function call!\n");
}

const dMass& nOdePhysikMass::Get() {
    if (!dirty) return mass;
    SetShapeMass(mass);
    dMassTranslate(&mass, position.x, position.y, position.z);
    // ODE's rotation rows are the columns of the engine's row-vector matrix.
    matrix44 m;
    m.SetQuaternion(rotation);
    dMatrix3 r;
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) r[i * 4 + j] = m.m[j][i];
        r[i * 4 + 3] = 0;
    }
    dMassRotate(&mass, r);
    dirty = false;
    rebuilds++;
    return mass;
}
