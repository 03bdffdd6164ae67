#include "physics/nOdePhysikHinge2Joint.h"

#include "kernel/nKernelServer.h"
#include "platform/ode/Checks.h"

bool nOdePhysikHinge2Joint::attached() const {
    return joint && dJointGetBody(joint, 0) && dJointGetBody(joint, 1);
}

void nOdePhysikHinge2Joint::AttachBoddys(nPhysikBody* a, nPhysikBody* b) {
    nOdePhysikJoint::AttachBoddys(a, b);
    if (attached()) applyAxes();
}

void nOdePhysikHinge2Joint::applyAxes() {
    if (!pending_[0] && !pending_[1]) return;
    dVector3 cur[2];
    dJointGetHinge2Axis1(joint, cur[0]);
    dJointGetHinge2Axis2(joint, cur[1]);
    const dReal* a1 = pending_[0] ? axis_[0] : cur[0];
    const dReal* a2 = pending_[1] ? axis_[1] : cur[1];
    if (ode::AxesIndependent(a1, a2)) {
        dJointSetHinge2Axes(joint, pending_[0] ? a1 : nullptr, pending_[1] ? a2 : nullptr);
        pending_[0] = pending_[1] = false;
        return;
    }
    if (pending_[0] && pending_[1]) {
        n_error("nOdePhysikHinge2Joint: axes (%g, %g, %g) and (%g, %g, %g) are parallel; kept the joint's axes\n",
                a1[0], a1[1], a1[2], a2[0], a2[1], a2[2]);
        pending_[0] = pending_[1] = false;
    }
    // One new axis parallel to the joint's other one waits until that one is set too
    // (a script turning both axes sets them one after the other).
}

void nOdePhysikHinge2Joint::setAxis(int which, const vector3& v) {
    if (!joint) return;
    if (!ode::AxisUsable(v.x, v.y, v.z)) {
        n_error("nOdePhysikHinge2Joint::SetAxis%d: axis (%g, %g, %g) has no direction; not set\n", which + 1, v.x,
                v.y, v.z);
        return;
    }
    axis_[which][0] = v.x;
    axis_[which][1] = v.y;
    axis_[which][2] = v.z;
    pending_[which] = true;
    if (attached()) applyAxes();
}

void nOdePhysikHinge2Joint::SetAxis1(const vector3& v) {
    setAxis(0, v);
}

void nOdePhysikHinge2Joint::SetAxis2(const vector3& v) {
    setAxis(1, v);
}

vector3 nOdePhysikHinge2Joint::GetAxis1() {
    if (!attached()) return vector3(float(axis_[0][0]), float(axis_[0][1]), float(axis_[0][2]));
    dVector3 r;
    dJointGetHinge2Axis1(joint, r);
    return ToVector(r);
}

vector3 nOdePhysikHinge2Joint::GetAxis2() {
    if (!attached()) return vector3(float(axis_[1][0]), float(axis_[1][1]), float(axis_[1][2]));
    dVector3 r;
    dJointGetHinge2Axis2(joint, r);
    return ToVector(r);
}

void nOdePhysikHinge2Joint::SetAnchor(const vector3& v) {
    if (joint && VectorUsable(v, "anchor")) dJointSetHinge2Anchor(joint, v.x, v.y, v.z);
}

vector3 nOdePhysikHinge2Joint::GetAnchor() {
    if (!joint) return vector3();
    dVector3 r;
    dJointGetHinge2Anchor(joint, r);
    return ToVector(r);
}

void nOdePhysikHinge2Joint::SetParam(int param, float value) {
    int p = OdeParam(param);
    if (joint && ParamValueUsable(param, value)) dJointSetHinge2Param(joint, p, value);
}

float nOdePhysikHinge2Joint::GetParam(int param) {
    int p = OdeParam(param);
    return joint ? float(dJointGetHinge2Param(joint, p)) : 0.0f;
}
