#pragma once
// The physics server on ODE (script class "nodephysikserver"): one ODE world with a
// contact group that holds one step's contact joints, the bodies, joints and masses
// made in it, and the world step of the listed bodies.
#include <ode/ode.h>

#include "physics/nContactParams.h"
#include "physics/nPhysikServer.h"
#include "platform/ode/World.h"

class nOdePhysikServer : public nPhysikServer {
public:
    static const nClassInfo classInfo;
    // The longest time one step integrates.
    static constexpr float MaxStep = 0.08f;

    // World CFM 0.0001, ERP 0.2, gravity (0, -9.81, 0).
    nOdePhysikServer();
    // Bodies and joints still alive afterwards are left without ODE objects.
    ~nOdePhysikServer() override;

    // Steps the listed bodies (and what a joint ties to them) by min(stepSize, 0.08),
    // then drops every contact joint. A step that is not positive moves nothing (logged).
    void WorldStep(float stepSize) override;
    // Non-finite values are refused (logged).
    void SetGravity(const vector3& g) override;
    vector3 GetGravity() override;
    void SetWorldERP(float erp) override;
    float GetWorldERP() override;
    void SetWorldCFM(float cfm) override;
    float GetWorldCFM() override;
    // The force that gives `impulse` over `stepSize`; zero for a step that is not positive.
    vector3 ImpulseToForce(float stepSize, const vector3& impulse) override;
    // A disabled body (never stepped yet) takes no part in its contact joint. A report
    // with a non-finite point, normal or depth is passed over (logged once).
    bool AddCollisionJoint(nPhysikBody* body, const nCollideReport& report) override;
    bool AddCollisionJoint(nPhysikBody* a, nPhysikBody* b, const nCollideReport& report) override;
    nPhysikBody* CreateBody() override;
    nPhysikJoint* CreateJoint(int type) override;
    nPhysikMass* CreateMass(int type) override;
    bool HasWorld() const override { return true; }

    // The surface of a contact between two bodies: the modes joined, mu infinite when
    // either is, every other value that a joined flag selects the mean of both.
    static nContactParams MergeSurfaces(const nContactParams& a, const nContactParams& b);

    dWorldID GetWorldId() const { return world.Id(); }
    ode::World& GetWorld() { return world; }

protected:
    // Makes the contact joint between a and b (either null for nothing). Tests
    // override it to see what is handed to ODE.
    virtual dJointID NewContactJoint(const dContact& contact, dBodyID a, dBodyID b);

private:
    bool addContact(const nContactParams& surface, const nCollideReport& report, dBodyID a, dBodyID b);

    ode::World world;
    // The listed bodies' ODE ids for the step.
    dBodyID stepIds[MaxBodies] = {};
    bool stepRefusalLogged = false;
    bool reportRefusalLogged = false;
};
