#include "logic/nModAnimatorState.h"

#include "logic/nLogicNode.h"
#include "logic/nModule.h"

void nModAnimatorState::Animate() {
    if (!GetEnabled()) return;
    // An animator's script may release the node and this state with it.
    nRef<nLogicNode> owner(GetOwner());
    owner.Get();
    for (int i = 0; i < GetNumModules(); i++) {
        if (nModule* m = ModuleOfType(i, nModule::Animator)) {
            m->Animate(owner.Get(), GetTime());
            if (!owner.IsValid()) return;
        }
    }
}
