#pragma once
// A joint on ODE: the ODE joint, made in the server's world outside any group, and the
// attaching every ODE joint shares. Refuses (logged) what would trip an ODE assert: a
// missing body, both ends on one body.
#include <ode/ode.h>

#include "physics/nPhysikJoint.h"

namespace ode {
class World;
}

class nOdePhysikJoint : public nPhysikJoint {
public:
    // odeType: dJointTypeBall, Slider, Hinge or Hinge2.
    nOdePhysikJoint(ode::World* world, int odeType);
    // Destroys the ODE joint (and its feedback record); nothing once the world is gone.
    ~nOdePhysikJoint() override;
    nOdePhysikJoint(const nOdePhysikJoint&) = delete;
    nOdePhysikJoint& operator=(const nOdePhysikJoint&) = delete;

    void AttachBoddys(nPhysikBody* a, nPhysikBody* b) override;
    bool AreConnected(nPhysikBody* a, nPhysikBody* b) override;

    // Null once the server's world is gone.
    dJointID GetJointId() const { return joint; }

protected:
    // ODE's index of a parameter; stops the program for one outside 0..10.
    static int OdeParam(int param);
    // True for a value ODE takes (not NaN); logs the refusal otherwise.
    static bool ParamValueUsable(int param, float value);
    static bool VectorUsable(const vector3& v, const char* what);
    static vector3 ToVector(const dVector3 v) { return vector3(float(v[0]), float(v[1]), float(v[2])); }

    ode::World* world;
    dJointID joint = nullptr;
};
