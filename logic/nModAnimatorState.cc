#include "logic/nModAnimatorState.h"

#include "kernel/nKernelServer.h"
#include "logic/nLogicNode.h"
#include "logic/nModAnimator.h"

void nModAnimatorState::Animate() {
    if (!GetEnabled()) return;
    nLogicNode* owner = HotOwner();
    if (!owner) nKernelServer::FatalError("Aborting.");
    // One animator, as most nodes have: nothing runs after it, so the walk needs no
    // guard and the call is the last thing done.
    if (nModule* m = SoleHotAnimator()) {
        static_cast<nModAnimator*>(m)->AnimateHot(owner, GetTime());
        return;
    }
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
