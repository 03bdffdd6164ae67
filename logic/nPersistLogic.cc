#include "logic/nPersistLogic.h"

#include "kernel/nKernelServer.h"
#include "logic/nPersistOwner.h"

static const nCmdDef<nPersistLogic> cmds[] = {
    Bind<&nPersistLogic::SetOwner>("v_setowner_s", "PSOW"),
    Bind<&nPersistLogic::GetOwnerPath>("s_getowner_v", "PGOW"),
};
const nClassInfo nPersistLogic::classInfo = nClassInfo::Make<nPersistLogic>("npersistlogic", "npersist", cmds);

nPersistLogic::nPersistLogic() {
    ownerRef_.SetCwd(this);
}

nPersistLogic::~nPersistLogic() = default;

void nPersistLogic::SetOwner(const char* path) {
    ownerRef_.SetPath(path && path[0] ? path : nullptr);
    warnedOwner_ = false;
}

const char* nPersistLogic::GetOwnerPath() const {
    const char* path = ownerRef_.GetPath();
    return path ? path : "";
}

nPersistOwner* nPersistLogic::GetOwner() {
    nRoot* obj = ownerRef_.GetPath() ? ownerRef_.Resolve() : nullptr;
    if (!obj) return nullptr;
    // Only logic nodes own stores; the hooks alone do not make an owner.
    auto* owner = obj->IsA("nlogicnode") ? dynamic_cast<nPersistOwner*>(obj) : nullptr;
    if (!owner && !warnedOwner_) {
        warnedOwner_ = true;
        n_error("%s: owner '%s' is no logic node; the store has no owner\n", GetFullName().c_str(), GetOwnerPath());
    }
    return owner;
}

bool nPersistLogic::SaveCmds(nPersistServer* ps) {
    if (nPersistOwner* owner = GetOwner()) owner->StoreToPersist(this);
    return nPersist::SaveCmds(ps);
}
