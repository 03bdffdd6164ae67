#pragma once
// One joint of a character skeleton: its rest pose, its animated pose of the frame and
// the matrices the skin pass reads. Joints live in arrays in which every parent comes
// before its children, so a walk in index order finds the parent already updated.
#include <string>

#include "kernel/matrix44.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"

class nCharJoint {
public:
    // Rest and current pose := (t, q); rest matrix := rotation of q plus t, times the
    // parent's rest matrix; the inverse rest matrix follows it.
    void SetRestPose(const vector3& t, const quaternion& q);
    // Current matrix from the current pose (times the parent's current matrix); skin
    // matrix := inverse rest x current; normal matrix := its upper-left 3x3.
    void Evaluate();

    vector3 restTranslation;
    quaternion restRotation;
    vector3 translation;
    quaternion rotation;
    matrix44 restMatrix;
    matrix44 invRestMatrix;
    matrix44 matrix;
    matrix44 skinMatrix;
    float normalMatrix[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    std::string name;
    int parentIndex = -1;
    nCharJoint* parent = nullptr;
};
