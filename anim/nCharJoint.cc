#include "anim/nCharJoint.h"

namespace {

matrix44 PoseMatrix(const vector3& t, const quaternion& q) {
    matrix44 m;
    m.SetQuaternion(q);
    m.Translate(t);
    return m;
}

}  // namespace

void nCharJoint::SetRestPose(const vector3& t, const quaternion& q) {
    restTranslation = translation = t;
    restRotation = rotation = q;
    restMatrix = PoseMatrix(t, q);
    if (parent) restMatrix = restMatrix * parent->restMatrix;
    invRestMatrix = restMatrix;
    invRestMatrix.Invert();
}

void nCharJoint::Evaluate() {
    matrix = PoseMatrix(translation, rotation);
    if (parent) matrix = matrix * parent->matrix;
    skinMatrix = invRestMatrix * matrix;
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++) normalMatrix[r][c] = skinMatrix.m[r][c];
    }
}
