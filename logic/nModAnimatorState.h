#pragma once
// The animator state (type 1): runs its animator modules at the node time it was given;
// a length other than 0 is the time after which the node stops animating it.
#include "logic/nModuleState.h"

class nModAnimatorState : public nModuleState {
public:
    using nModuleState::nModuleState;
    ~nModAnimatorState() override;
    int GetStateType() const override { return Animation; }

    void SetLength(float l) { length_ = l; }
    float GetLength() const { return length_; }
    // Each animator module's Animate (owner, state time); nothing when disabled.
    void Animate();

private:
    // Animate's walk over the modules, guarded against a module releasing the state.
    void AnimateEach(nLogicNode* owner);
    // Notes this state as the one animated after the previous one and starts fetching
    // what the state animated after this one last time will read.
    void FollowWalk(const void* moduleLine);
    void AnimateHotEntry(int i, nLogicNode* owner);
    // Animate's walk from entry i on, module by module.
    [[gnu::noinline]] void AnimateFrom(int i, nLogicNode* owner, const WalkGuard& guard);

    float length_ = 0.0f;
    // The frame walks the nodes in the same order each time: the state animated after
    // this one last time and its animator's hot line, only ever prefetched (a dead
    // state's address is harmless there).
    const void* nextState_ = nullptr;
    const void* nextModule_ = nullptr;
    static thread_local nModAnimatorState* lastAnimated_;
};
