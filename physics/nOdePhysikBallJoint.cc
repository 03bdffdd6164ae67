#include "physics/nOdePhysikBallJoint.h"

void nOdePhysikBallJoint::SetAnchor(const vector3& v) {
    if (joint && VectorUsable(v, "anchor")) dJointSetBallAnchor(joint, v.x, v.y, v.z);
}

vector3 nOdePhysikBallJoint::GetAnchor() {
    if (!joint) return vector3();
    dVector3 r;
    dJointGetBallAnchor(joint, r);
    return ToVector(r);
}
