#pragma once
// The physics server at "/sys/servers/physik" (script class "nphysikserver"): the
// operations every physics implementation offers, and the per-frame table of bodies
// to step. The logic graph empties the table each frame, the physics module states
// append their bodies, contact joints are added from the collision reports, and
// WorldStep moves the listed bodies. An nphysikserver itself has no world: its
// operations stop the program when engine code calls them, and are script errors from
// its commands.
#include "kernel/nRoot.h"
#include "kernel/vector3.h"

class nCollideReport;
class nGfxServer;
class nPhysikBody;
class nPhysikJoint;
class nPhysikMass;

class nPhysikServer : public nRoot {
public:
    static const nClassInfo classInfo;
    static constexpr int MaxBodies = 255;

    nPhysikServer();
    ~nPhysikServer() override;

    virtual void WorldStep(float stepSize);
    virtual void SetGravity(const vector3& g);
    virtual vector3 GetGravity();
    virtual void SetWorldERP(float erp);
    virtual float GetWorldERP();
    virtual void SetWorldCFM(float cfm);
    virtual float GetWorldCFM();
    virtual vector3 ImpulseToForce(float stepSize, const vector3& impulse);
    // A contact of `body` with the static world at the report's point 2.
    virtual bool AddCollisionJoint(nPhysikBody* body, const nCollideReport& report);
    // A contact of two bodies, their surfaces merged.
    virtual bool AddCollisionJoint(nPhysikBody* a, nPhysikBody* b, const nCollideReport& report);
    // The caller owns what these make and deletes it before the server goes.
    virtual nPhysikBody* CreateBody();
    // 1 ball, 2 slider, 3 hinge, 4 hinge-2.
    virtual nPhysikJoint* CreateJoint(int type);
    // 1 sphere, 2 box, 3 cylinder.
    virtual nPhysikMass* CreateMass(int type);
    // Every listed body's Visualize.
    virtual void Visualize(nGfxServer* gfx);
    // False for a server without a world, whose operations cannot be called.
    virtual bool HasWorld() const { return false; }

    // ---- the frame's body table
    // Appends a body; false when the table holds 255 bodies already (or for null).
    bool AddBody(nPhysikBody* body);
    void ClearBodies() { numBodies = 0; }
    int GetNumBodies() const { return numBodies; }
    nPhysikBody* GetBody(int i) const { return bodies[i]; }
    // Takes every entry of a dying body out of the table, keeping the others' order.
    void ForgetBody(const nPhysikBody* body);
    // Set by the logic graph around its collision pass; read by nothing here.
    void SetInFrame(bool on) { inFrame = on; }
    bool IsInFrame() const { return inFrame; }

protected:
    bool inFrame = false;
    nPhysikBody* bodies[MaxBodies] = {};
    int numBodies = 0;
};
