#include "physics/nOdePhysikSliderJoint.h"

#include "kernel/nKernelServer.h"
#include "platform/ode/Checks.h"

void nOdePhysikSliderJoint::SetAxis1(const vector3& v) {
    if (!joint) return;
    if (!ode::AxisUsable(v.x, v.y, v.z)) {
        n_error("nOdePhysikSliderJoint::SetAxis1: axis (%g, %g, %g) has no direction; not set\n", v.x, v.y, v.z);
        return;
    }
    dJointSetSliderAxis(joint, v.x, v.y, v.z);
}

vector3 nOdePhysikSliderJoint::GetAxis1() {
    if (!joint) return vector3();
    dVector3 r;
    dJointGetSliderAxis(joint, r);
    return ToVector(r);
}

void nOdePhysikSliderJoint::SetParam(int param, float value) {
    int p = OdeParam(param);
    if (joint && ParamValueUsable(param, value)) dJointSetSliderParam(joint, p, value);
}

float nOdePhysikSliderJoint::GetParam(int param) {
    int p = OdeParam(param);
    return joint ? float(dJointGetSliderParam(joint, p)) : 0.0f;
}
