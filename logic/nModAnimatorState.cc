#include "logic/nModAnimatorState.h"

#include "kernel/nKernelServer.h"
#include "logic/nLogicNode.h"
#include "logic/nModAnimator.h"

// Runs hot entry i (i < HotAnimatorRun()).
[[gnu::always_inline]] inline void nModAnimatorState::AnimateHotEntry(int i, nLogicNode* owner) {
    nModule* m = HotModule(i);
    if (IsHotAnimator(i)) static_cast<nModAnimator*>(m)->AnimateHot(owner, GetTime());
    else HotAnimate(i)(m, owner, GetTime());
}

void nModAnimatorState::Animate() {
    if (!GetEnabled()) return;
    nLogicNode* owner = HotOwner();
    if (!owner) nKernelServer::FatalError("Aborting.");
    // An animator's script may release the node and this state with it.
    WalkGuard guard(this);
    // The leading animators straight from the copies HotOwner made current, until a call
    // changes them; the rest entry by entry. A pair of animators called through their
    // functions takes the shortest way.
    if (HotAnimatePair()) {
        HotAnimate(0)(HotModule(0), owner, GetTime());
        if (!guard.Alive()) return;
        if (HotCurrent()) HotAnimate(1)(HotModule(1), owner, GetTime());
        else AnimateFrom(1, owner, guard);
        return;
    }
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
            else if (AnimateFn animate = HotAnimate(i)) animate(m, owner, GetTime());
            else m->Animate(owner, GetTime());
            if (!guard.Alive()) return;
        }
    }
}
