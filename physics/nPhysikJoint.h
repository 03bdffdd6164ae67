#pragma once
// A joint between two physics bodies (ball, slider, hinge, hinge-2). Made by the physics
// server's CreateJoint and owned by whoever asked for it. Operations a joint type does
// not have stop the program: engine code calls them with constants, never scripts.
#include "kernel/vector3.h"

class nPhysikBody;

class nPhysikJoint {
public:
    enum Type { BASE = 0, BALL = 1, SLIDER = 2, HINGE = 3, HINGE2 = 4 };

    virtual ~nPhysikJoint() = default;
    virtual int GetType() const { return BASE; }
    virtual void AttachBoddys(nPhysikBody* a, nPhysikBody* b);
    virtual bool AreConnected(nPhysikBody* a, nPhysikBody* b);
    virtual void SetAnchor(const vector3& v);
    virtual void SetAxis1(const vector3& v);
    virtual void SetAxis2(const vector3& v);
    virtual void SetAngle(float a);
    virtual void SetAngleRate(float r);
    // Parameters 0..10 of the first axis: lo stop, hi stop, velocity, maximum force,
    // fudge factor, bounce, CFM, stop ERP, stop CFM, suspension ERP, suspension CFM.
    virtual void SetParam(int param, float value);
    virtual vector3 GetAnchor();
    virtual vector3 GetAxis1();
    virtual vector3 GetAxis2();
    virtual float GetAngle();
    virtual float GetAngleRate();
    virtual float GetParam(int param);
};
