#pragma once
// The physics state (type 4): owns the node's rigid body, rebuilds its mass from the
// physics modules each frame, lists it in the physics server's body table for the step
// and holds its velocities to the state's limits.
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "logic/nModuleState.h"

class nPhysikBody;
class nPhysikServer;

class nModPhysikState : public nModuleState {
public:
    // Makes the body through "/sys/servers/physik", which must exist.
    nModPhysikState(const char* name, nLogicNode* owner);
    ~nModPhysikState() override;
    int GetStateType() const override { return Physik; }

    // When enabled and holding a module: mass rebuilt at `world`, body listed, velocities
    // clamped. False when the body table was full (the body is then not stepped).
    bool Update(const matrix44& world);

    nPhysikBody* GetBody() const { return body_; }
    float maxLinearVel = 3.0f;
    float maxAngularVel = 2.0f;

private:
    nPathRef<nPhysikServer> refPhysikServer_{"/sys/servers/physik"};
    nPhysikBody* body_ = nullptr;
};
