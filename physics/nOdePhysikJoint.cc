#include "physics/nOdePhysikJoint.h"

#include <cmath>

#include "kernel/nKernelServer.h"
#include "physics/nOdePhysikBody.h"
#include "platform/ode/Checks.h"
#include "platform/ode/Surface.h"
#include "platform/ode/World.h"

nOdePhysikJoint::nOdePhysikJoint(ode::World* w, int odeType) : world(w) {
    world->NewJoint(odeType, &joint);
}

nOdePhysikJoint::~nOdePhysikJoint() {
    if (joint) world->DeleteJoint(&joint);
}

void nOdePhysikJoint::AttachBoddys(nPhysikBody* a, nPhysikBody* b) {
    dBodyID ba = a ? static_cast<nOdePhysikBody*>(a)->GetBodyId() : nullptr;
    dBodyID bb = b ? static_cast<nOdePhysikBody*>(b)->GetBodyId() : nullptr;
    if (!joint) return;
    if (!ba || !bb) {
        n_error("nOdePhysikJoint::AttachBoddys: a joint needs two bodies; not attached\n");
        return;
    }
    if (ba == bb) {
        n_error("nOdePhysikJoint::AttachBoddys: both ends on one body; not attached\n");
        return;
    }
    dJointAttach(joint, ba, bb);
}

bool nOdePhysikJoint::AreConnected(nPhysikBody* a, nPhysikBody* b) {
    dBodyID ba = a ? static_cast<nOdePhysikBody*>(a)->GetBodyId() : nullptr;
    dBodyID bb = b ? static_cast<nOdePhysikBody*>(b)->GetBodyId() : nullptr;
    if (!ba || !bb) return false;
    return dAreConnected(ba, bb) != 0;
}

int nOdePhysikJoint::OdeParam(int param) {
    int p = ode::JointParamToOde(param);
    if (p < 0) nKernelServer::FatalError("unknown jointparam !\n");
    return p;
}

bool nOdePhysikJoint::ParamValueUsable(int param, float value) {
    if (!std::isnan(value)) return true;
    n_error("nOdePhysikJoint::SetParam: parameter %d is not a number; not set\n", param);
    return false;
}

bool nOdePhysikJoint::VectorUsable(const vector3& v, const char* what) {
    if (ode::Finite(v.x, v.y, v.z)) return true;
    n_error("nOdePhysikJoint: %s (%g, %g, %g) is not finite; not set\n", what, v.x, v.y, v.z);
    return false;
}
