#include "kernel/nPathRefBase.h"

#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"

nPathRefBase& nPathRefBase::operator=(const nPathRefBase& other) {
    if (this == &other) return *this;
    SetPath(other.GetPath());
    cwd_.Set(other.cwd_.GetUnsafe());
    hasCwd_ = other.hasCwd_;
    requiredClass_ = other.requiredClass_;
    return *this;
}

void nPathRefBase::SetPath(const char* path) {
    Invalidate();
    path_.Set(path);
}

void nPathRefBase::SetCwd(nRoot* obj) {
    Invalidate();
    cwd_.Set(obj);
    hasCwd_ = obj != nullptr;
}

nRoot* nPathRefBase::Resolve() {
    if (ref_.IsValid()) return ref_.GetUnsafe();
    if (missedAt_ == nRoot::GetNamesVersion()) return nullptr;
    nKernelServer* ks = nKernelServer::ks;
    if (!ks || path_.IsEmpty()) return nullptr;
    nRoot* found = nullptr;
    if (hasCwd_) {
        // A cwd object that died leaves nothing to resolve a relative path from.
        nRoot* cwd = cwd_.GetUnsafe();
        if (!cwd && path_.Get()[0] != '/') return nullptr;
        ks->PushCwd(cwd);
        found = ks->Lookup(path_.Get());
        ks->PopCwd();
    } else {
        found = ks->Lookup(path_.Get());
    }
    if (found && requiredClass_ && !found->IsA(requiredClass_)) nKernelServer::FatalError("Aborting\n");
    ref_.Set(found);
    // A path relative to the kernel's current object may name something else from the
    // next one; the others depend on the tree alone.
    if (!found && (hasCwd_ || path_.Get()[0] == '/')) missedAt_ = nRoot::GetNamesVersion();
    return found;
}

nRoot* nPathRefBase::Get() {
    nRoot* obj = Resolve();
    if (!obj) nKernelServer::FatalError("Aborting.");
    return obj;
}
