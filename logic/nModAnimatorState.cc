#include "logic/nModAnimatorState.h"

#include <cstdint>

#include "kernel/nKernelServer.h"
#include "logic/nLogicNode.h"
#include "logic/nModAnimator.h"

thread_local nModAnimatorState* nModAnimatorState::lastAnimated_ = nullptr;

nModAnimatorState::~nModAnimatorState() {
    if (lastAnimated_ == this) lastAnimated_ = nullptr;
}

inline void nModAnimatorState::FollowWalk(const void* moduleLine) {
    nModAnimatorState* prev = lastAnimated_;
    if (prev && (prev->nextState_ != this || prev->nextModule_ != moduleLine)) {
        prev->nextState_ = this;
        prev->nextModule_ = moduleLine;
    }
    lastAnimated_ = this;
    // The next state's first line and the line with its own hints, and its animator's;
    // as numbers, since the next state may be gone.
    const uintptr_t next = reinterpret_cast<uintptr_t>(nextState_);
    const uintptr_t hints = reinterpret_cast<uintptr_t>(&nextState_) - reinterpret_cast<uintptr_t>(this);
    __builtin_prefetch(reinterpret_cast<const void*>(next));
    __builtin_prefetch(reinterpret_cast<const void*>(next + hints));
    __builtin_prefetch(nextModule_);
}

void nModAnimatorState::Animate() {
    if (!GetEnabled()) return;
    nLogicNode* owner = HotOwner();
    if (!owner) nKernelServer::FatalError("Aborting.");
    // One animator, as most nodes have: nothing runs after it, so the walk needs no
    // guard and the call is the last thing done.
    if (nModule* m = SoleHotAnimator()) {
        auto* animator = static_cast<nModAnimator*>(m);
        FollowWalk(animator->HotLine());
        animator->AnimateHot(owner, GetTime());
        return;
    }
    FollowWalk(nullptr);
    AnimateEach(owner);
}

void nModAnimatorState::AnimateEach(nLogicNode* owner) {
    // An animator's script may release the node and this state with it.
    WalkGuard guard(this);
    for (int i = 0; i < GetNumModules(); i++) {
        if (nModule* m = ModuleOfType(i, nModule::Animator)) {
            if (IsHotAnimator(i)) static_cast<nModAnimator*>(m)->AnimateHot(owner, GetTime());
            else m->Animate(owner, GetTime());
            if (!guard.Alive()) return;
        }
    }
}
