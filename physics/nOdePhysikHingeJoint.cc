#include "physics/nOdePhysikHingeJoint.h"

#include "kernel/nKernelServer.h"
#include "platform/ode/Checks.h"

void nOdePhysikHingeJoint::SetAnchor(const vector3& v) {
    if (joint && VectorUsable(v, "anchor")) dJointSetHingeAnchor(joint, v.x, v.y, v.z);
}

vector3 nOdePhysikHingeJoint::GetAnchor() {
    if (!joint) return vector3();
    dVector3 r;
    dJointGetHingeAnchor(joint, r);
    return ToVector(r);
}

void nOdePhysikHingeJoint::SetAxis1(const vector3& v) {
    if (!joint) return;
    if (!ode::AxisUsable(v.x, v.y, v.z)) {
        n_error("nOdePhysikHingeJoint::SetAxis1: axis (%g, %g, %g) has no direction; not set\n", v.x, v.y, v.z);
        return;
    }
    dJointSetHingeAxis(joint, v.x, v.y, v.z);
}

vector3 nOdePhysikHingeJoint::GetAxis1() {
    if (!joint) return vector3();
    dVector3 r;
    dJointGetHingeAxis(joint, r);
    return ToVector(r);
}

void nOdePhysikHingeJoint::SetParam(int param, float value) {
    int p = OdeParam(param);
    if (joint && ParamValueUsable(param, value)) dJointSetHingeParam(joint, p, value);
}

float nOdePhysikHingeJoint::GetParam(int param) {
    int p = OdeParam(param);
    return joint ? float(dJointGetHingeParam(joint, p)) : 0.0f;
}
