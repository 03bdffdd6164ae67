#pragma once
// A hinge joint: anchor, one axis and its parameters.
#include "physics/nOdePhysikJoint.h"

class nOdePhysikHingeJoint : public nOdePhysikJoint {
public:
    explicit nOdePhysikHingeJoint(ode::World* world) : nOdePhysikJoint(world, dJointTypeHinge) {}
    int GetType() const override { return HINGE; }
    void SetAnchor(const vector3& v) override;
    vector3 GetAnchor() override;
    // A zero or non-finite axis is refused (logged).
    void SetAxis1(const vector3& v) override;
    vector3 GetAxis1() override;
    void SetParam(int param, float value) override;
    float GetParam(int param) override;
};
