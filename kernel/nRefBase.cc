#include "kernel/nRefBase.h"

#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"

void nRefBase::Set(nRoot* target) {
    if (target == target_) return;
    link_.Remove();
    target_ = target;
    if (target_) target_->AddObjectRef(&link_);
}

nRoot* nRefBase::Get() const {
    if (!target_) nKernelServer::FatalError("Aborting.");
    return target_;
}
