#pragma once
// A hinge-2 joint (a steered, sprung wheel): anchor, two axes and the first axis's
// parameters. ODE takes hinge-2 axes only while the joint joins two bodies, and never
// two parallel ones: axes set before are kept and applied when the joint is attached;
// an axis parallel to the joint's other one waits for that one to change; a parallel
// pair is refused (logged).
#include "physics/nOdePhysikJoint.h"

class nOdePhysikHinge2Joint : public nOdePhysikJoint {
public:
    explicit nOdePhysikHinge2Joint(ode::World* world) : nOdePhysikJoint(world, dJointTypeHinge2) {}
    int GetType() const override { return HINGE2; }
    void AttachBoddys(nPhysikBody* a, nPhysikBody* b) override;
    void SetAnchor(const vector3& v) override;
    vector3 GetAnchor() override;
    void SetAxis1(const vector3& v) override;
    void SetAxis2(const vector3& v) override;
    // ODE's axes while attached; the kept ones otherwise.
    vector3 GetAxis1() override;
    vector3 GetAxis2() override;
    void SetParam(int param, float value) override;
    float GetParam(int param) override;

private:
    bool attached() const;
    void setAxis(int which, const vector3& v);
    // Applies the kept axes to an attached joint when they are not parallel.
    void applyAxes();

    // ODE's defaults for a freshly attached hinge-2.
    dReal axis_[2][3] = {{1, 0, 0}, {0, 1, 0}};
    bool pending_[2] = {false, false};
};
