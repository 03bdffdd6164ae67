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

// Runs hot entry i (i < HotAnimatorRun()).
[[gnu::always_inline]] inline void nModAnimatorState::AnimateHotEntry(int i, nLogicNode* owner) {
    static_cast<nModAnimator*>(HotModule(i))->AnimateHot(owner, GetTime());
}

void nModAnimatorState::Animate() {
    if (!GetEnabled()) return;
    nLogicNode* owner = HotOwner();
    if (!owner) nKernelServer::FatalError("Aborting.");
    // One animator, as most nodes have: nothing runs after it, so the walk needs no
    // guard and the call is the last thing done. Only these states fetch ahead: a walk of
    // several animators per state is longer than the fetch and only paid its bookkeeping.
    if (nModule* m = SoleHotAnimator()) {
        auto* animator = static_cast<nModAnimator*>(m);
        FollowWalk(animator->HotLine());
        animator->AnimateHot(owner, GetTime());
        return;
    }
    AnimateEach(owner);
}

void nModAnimatorState::AnimateEach(nLogicNode* owner) {
    // An animator's script may release the node and this state with it.
    WalkGuard guard(this);
    // The leading animators straight from the copies HotOwner made current, until a call
    // changes them; the rest entry by entry.
    const int run = HotAnimatorRun();
    int i = 0;
    if (run > 0) {
        AnimateHotEntry(0, owner);
        if (!guard.Alive()) return;
        i = 1;
        if (run > 1 && HotCurrent()) {
            AnimateHotEntry(1, owner);
            if (!guard.Alive()) return;
            i = 2;
        }
    }
    if (i < GetNumModules()) AnimateFrom(i, owner, guard);
}

void nModAnimatorState::AnimateFrom(int i, nLogicNode* owner, const WalkGuard& guard) {
    for (; i < GetNumModules(); i++) {
        if (nModule* m = ModuleOfType(i, nModule::Animator)) {
            if (IsHotAnimator(i)) static_cast<nModAnimator*>(m)->AnimateHot(owner, GetTime());
            else m->Animate(owner, GetTime());
            if (!guard.Alive()) return;
        }
    }
}
