#include "kernel/nNamedRef.h"

#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"

void nNamedRef::SetPath(const char* path) {
    ref_.Invalidate();
    pathEntry_.SetName(path);
}

void nNamedRef::Set(nRoot* obj) {
    pathEntry_.Remove();
    pathEntry_.SetName(nullptr);
    ref_.Set(obj);
}

nRoot* nNamedRef::Resolve() {
    if (ref_.IsValid()) return ref_.GetUnsafe();
    nKernelServer* ks = nKernelServer::ks;
    if (!ks || !pathEntry_.HasName()) return nullptr;
    nRoot* obj = ks->Lookup(pathEntry_.GetName());
    if (obj) Set(obj);
    return obj;
}

char* nNamedRef::GetPath(char* buf, size_t size) const {
    if (!buf || size == 0) return buf;
    if (ref_.IsValid())
        ref_.GetUnsafe()->GetFullName(buf, size);
    else
        nKernelServer::StrCopy(buf, pathEntry_.GetName(), size);
    return buf;
}
