#pragma once
// A slider joint: one axis and its parameters.
#include "physics/nOdePhysikJoint.h"

class nOdePhysikSliderJoint : public nOdePhysikJoint {
public:
    explicit nOdePhysikSliderJoint(ode::World* world) : nOdePhysikJoint(world, dJointTypeSlider) {}
    int GetType() const override { return SLIDER; }
    // A zero or non-finite axis is refused (logged).
    void SetAxis1(const vector3& v) override;
    vector3 GetAxis1() override;
    void SetParam(int param, float value) override;
    float GetParam(int param) override;
};
