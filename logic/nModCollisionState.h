#pragma once
// The collision state (type 2): its collision modules register the node's collide
// objects in one collide context of "/sys/servers/collide2" each frame.
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "logic/nModuleState.h"

class nCollideContext2;
class nCollideReport;
class nCollideServer2;

class nModCollisionState : public nModuleState {
public:
    nModCollisionState(const char* name, nLogicNode* owner);
    int GetStateType() const override { return Collision; }

    // Binds the named context of the collide server (which must exist). An unknown name
    // is logged and leaves the state without a context: it then collides with nothing.
    void SetContext(const char* name);
    // Null without a context, or once the collide server is gone.
    nCollideContext2* GetContext() const { return server_.IsValid() ? context_ : nullptr; }

    // Each collision module registers its objects (owner, this state, node world, state
    // time); nothing when disabled or without a context.
    void Collide(const matrix44& world);
    // Each collision module takes over the matrix after a physics step.
    void SetMatrix(const matrix44& world);
    // Within a frame, after a physics step: each collision module's object moves on to
    // `world`, and its contacts where it now stands go into `out` (at most `max`); the
    // number found. Nothing when disabled or without a context.
    int ContactsWithinFrame(const matrix44& world, nCollideReport* out, int max);

private:
    nPathRef<nCollideServer2> refCollideServer_{"/sys/servers/collide2"};
    nRef<nCollideServer2> server_;
    nCollideContext2* context_ = nullptr;
    // Not read by the module code; kept as the state's own frame matrices.
    matrix44 matrix0_;
    matrix44 matrix1_;
};
