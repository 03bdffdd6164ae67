#include "logic/nModAnimator.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"

static const nCmdDef<nModAnimator> cmds[] = {
    Bind<&nModAnimator::SetRepType>("v_setreptype_s", "ASRT"),
    Bind<&nModAnimator::GetRepType>("s_getreptype_v", "AGRT"),
};
const nClassInfo nModAnimator::classInfo = nClassInfo::Make<nModAnimator>("nmodanimator", "nmodule", cmds);

nModAnimator::nModAnimator() = default;

nModAnimator::~nModAnimator() = default;

void nModAnimator::Animate(nLogicNode*, float) {
    if (animateLogged_) return;
    animateLogged_ = true;
    n_error("%s: a plain nmodanimator animates nothing; use a vector or script animator\n", GetFullName().c_str());
}

void nModAnimator::SetRepType(const char* name) {
    if (name && std::strcmp(name, "loop") == 0) {
        repType_ = Loop;
    } else if (name && std::strcmp(name, "oneshot") == 0) {
        repType_ = OneShot;
    } else {
        n_error("%s: setreptype: unknown repeat type '%s' (\"loop\" or \"oneshot\"), unchanged\n",
                GetFullName().c_str(), name ? name : "");
    }
}

bool nModAnimator::SaveCmds(nPersistServer* ps) {
    if (!nModule::SaveCmds(ps)) return false;
    return ps->Put(this, nId("ASRT"), GetRepType());
}
