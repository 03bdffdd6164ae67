#pragma once
// The base of the behaviour modules (script class "nmodule"): small tree objects that a
// logic node lists by path in its module states, which hand each module its share of the
// frame by module type. The per-frame entry points of every module type are virtual here,
// so a state runs its modules without knowing the concrete classes; each module type
// overrides only its own.
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"

class nLogicNode;
class nModCollisionState;
class nPhysikMass;
class nSceneGraph2;
class nModAnimator;
class nVariableContext;
class nVariableServer;

class nModule : public nRoot {
public:
    static const nClassInfo classInfo;

    // Module types; a state of type t runs the modules of type t - 1.
    enum Type { NoType = -1, Animator = 0, Collision = 1, Visualizer = 2, Physik = 3 };

    nModule();
    ~nModule() override;

    virtual int GetType() const { return NoType; }
    // This module as an nModAnimator, null for other classes: the animator state calls
    // those through their own cache line (nModAnimator::AnimateHot).
    virtual nModAnimator* AsAnimator() { return nullptr; }
    // When the owning node sets up.
    virtual void Attach() {}
    // Debug drawing.
    virtual void Render() {}

    // Type 0: animates the owner at the state's time.
    virtual void Animate(nLogicNode* /*owner*/, float /*time*/) {}
    // Type 1: registers this frame's collide object in the state's context.
    virtual void Collide(nLogicNode* /*owner*/, nModCollisionState* /*state*/, const matrix44& /*world*/,
                         float /*time*/) {}
    // Type 1: takes over the node's matrix after a physics step.
    virtual void SetMatrix(const matrix44& /*world*/) {}
    // Type 2: attaches the module's visuals at the node.
    virtual void Visualize(const matrix44& /*world*/, nSceneGraph2* /*sceneGraph*/, nVariableContext* /*vars*/) {}
    // Type 3: the mass this module adds to the node's body, null for none.
    virtual nPhysikMass* GetPhysikMass() { return nullptr; }

    nVariableServer* GetVariableServer();

protected:
    nPathRef<nRoot> refVariableServer_{"/sys/servers/variable"};
};
