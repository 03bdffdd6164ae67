#pragma once
// The animator state (type 1): runs its animator modules at the node time it was given;
// a length other than 0 is the time after which the node stops animating it.
#include "logic/nModuleState.h"

class nModAnimatorState : public nModuleState {
public:
    using nModuleState::nModuleState;
    int GetStateType() const override { return Animation; }

    void SetLength(float l) { length_ = l; }
    float GetLength() const { return length_; }
    // Each animator module's Animate (owner, state time); nothing when disabled.
    void Animate();

private:
    // Animate's walk over the modules, guarded against a module releasing the state.
    void AnimateEach(nLogicNode* owner);

    float length_ = 0.0f;
};
