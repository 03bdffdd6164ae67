#pragma once
// The exact collision module (script class "nmodexactcollision"): a collision module whose
// shared shape is a sphere, box, cylinder or triangle mesh, tested exactly by the context.
// A dynamic one counts as moving only when its position changed since the last frame.
#include "kernel/nString.h"
#include "logic/nModSimpleCollision.h"

class nModExactCollision : public nModSimpleCollision {
public:
    static const nClassInfo classInfo;

    enum Kind { None = -1, Sphere = 0, Box = 1, Mesh = 2, Cylinder = 3 };

    nModExactCollision();
    ~nModExactCollision() override;
    bool SaveCmds(nPersistServer* ps) override;

    void SetSphere(float r);
    void SetBox(float x, float y, float z);
    // A mesh file that fails to load is logged once; the module then registers nothing
    // until another shape is set.
    void SetMesh(const char* fileName);
    void SetCylinder(float radius, float length);
    int GetKind() const { return kind_; }

protected:
    nCollideShape2* CreateShape() override;
    bool NeedsUpdate() override;

private:
    void BeginShape(int kind);

    int kind_ = None;
    float params_[3] = {0.0f, 0.0f, 0.0f};
    nString mesh_;
};
