#pragma once
// The physics module (script class "nmodphysik"): one sphere, box or cylinder mass of its
// node's rigid body, placed at the module's position and rotation in body space. The
// node's physics state adds every module's mass to the body each frame.
#include "kernel/nPathRef.h"
#include "logic/nModTransformer.h"

class nPhysikMass;
class nPhysikServer;

class nModPhysik : public nModTransformer {
public:
    static const nClassInfo classInfo;

    nModPhysik();
    ~nModPhysik() override;
    bool SaveCmds(nPersistServer* ps) override;
    int GetType() const override { return Physik; }
    // Only (1, 1, 1); anything else is logged and ignored.
    void SetScale(const vector3& s) override;
    nPhysikMass* GetPhysikMass() override { return mass_; }

    // Each keeps the mass (and its density) when it is of the same kind, else makes a
    // new one of the server's default density.
    void SetSphere(float radius);
    void SetBox(float x, float y, float z);
    void SetCylinder(float radius, float length);

    // Before any mass these log and do nothing; the getters answer 0 and "".
    void SetDensity(float d);
    const char* GetTypeName();
    float GetSphere();
    vector3 GetBox();
    void GetCylinder(float& radius, float& length);

private:
    // The mass of that kind, made when there is none or one of another kind.
    nPhysikMass* MassOfKind(int kind);
    // The mass, or null after logging that `what` needs one.
    nPhysikMass* Mass(const char* what);

    nPathRef<nPhysikServer> refPhysikServer_{"/sys/servers/physik"};
    nPhysikMass* mass_ = nullptr;
};
