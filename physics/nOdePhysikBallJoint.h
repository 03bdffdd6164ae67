#pragma once
// A ball-and-socket joint: an anchor only.
#include "physics/nOdePhysikJoint.h"

class nOdePhysikBallJoint : public nOdePhysikJoint {
public:
    explicit nOdePhysikBallJoint(ode::World* world) : nOdePhysikJoint(world, dJointTypeBall) {}
    int GetType() const override { return BALL; }
    void SetAnchor(const vector3& v) override;
    vector3 GetAnchor() override;
};
