#include "collide/nCollideServer.h"

#include <cstdio>
#include <cstring>

#include "collide/nCollideContext.h"
#include "collide/nCollideServer2.h"
#include "collide/nCollideShape.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nFileServer2.h"

namespace {

// "ignore", "quick" and "contact" by name; every other text is "exact".
nCollType CollTypeFromText(const char* text) {
    for (int t = 0; t < 3; t++) {
        if (text && std::strcmp(text, nCollTypeToString(t)) == 0) return nCollType(t);
    }
    return COLLTYPE_EXACT;
}

const nCmdDef<nCollideServer> cmds[] = {
    Bind<&nCollideServer::BeginCollClasses>("v_begincollclasses_v", "BGCC"),
    Bind<&nCollideServer::AddCollClass>("v_addcollclass_s", "ADCC"),
    Bind<&nCollideServer::EndCollClasses>("v_endcollclasses_v", "ENCC"),
    Bind<&nCollideServer::BeginCollTypes>("v_begincolltypes_v", "BGCT"),
    {"v_addcolltype_sss", "ADCT",
     [](nCollideServer* self, nCmd* c) {
         const char* a = c->In()->GetS();
         const char* b = c->In()->GetS();
         self->AddCollType(a, b, CollTypeFromText(c->In()->GetS()));
     }},
    Bind<&nCollideServer::EndCollTypes>("v_endcolltypes_v", "ENCT"),
    {"s_querycolltype_ss", "QRCT",
     [](nCollideServer* self, nCmd* c) {
         const char* a = c->In()->GetS();
         const char* b = c->In()->GetS();
         // A type above "exact" has no name: the answer stays empty.
         c->Out()->SetS(nCollTypeToString(self->QueryCollType(a, b)));
     }},
};

}  // namespace

const nClassInfo nCollideServer::classInfo = nClassInfo::Make<nCollideServer>("ncollideserver", "nroot", cmds);

nCollideServer::nCollideServer() = default;

nCollideServer::~nCollideServer() {
    while (nNode* n = contexts_.RemHead()) delete static_cast<nCollideContext*>(n->GetPtr());
    defaultContext_ = nullptr;
    while (nHashNode* n = shapes_.RemHead()) delete static_cast<nCollideShape*>(n);
}

nCollideContext* nCollideServer::NewContext() {
    auto* ctx = new nCollideContext(this);
    contexts_.AddHead(&ctx->serverNode_);
    return ctx;
}

void nCollideServer::ReleaseContext(nCollideContext* ctx) {
    if (!ctx) return;
    if (ctx == defaultContext_) defaultContext_ = nullptr;
    delete ctx;
}

nCollideContext* nCollideServer::GetDefaultContext() {
    if (!defaultContext_) defaultContext_ = NewContext();
    return defaultContext_;
}

void nCollideServer::MakeResourceName(const char* name, char* buf, size_t size) {
    if (!name) {
        std::snprintf(buf, size, "res%d", uniqueCounter_++);
        return;
    }
    nCollideServer2::MakeShapeName(nFileServer2::Share(name).c_str(), buf, size);
}

nCollideShape* nCollideServer::FindShape(const char* resourceName) const {
    return static_cast<nCollideShape*>(shapes_.Find(resourceName));
}

nCollideShape* nCollideServer::NewShape(int, const char* name) {
    char resName[512];
    MakeResourceName(name, resName, sizeof(resName));
    nCollideShape* shape = FindShape(resName);
    if (!shape) {
        shape = new nCollideShape(resName);
        shapes_.AddTail(shape);
    }
    shape->refCount_++;
    return shape;
}

void nCollideServer::ReleaseShape(nCollideShape* shape) {
    if (!shape) return;
    if (--shape->refCount_ > 0) return;
    shape->Remove();
    delete shape;
}

int nCollideServer::QueryCollClass(const char* name) {
    return classes_.QueryCollClass(name);
}

nCollType nCollideServer::QueryCollType(const char* name1, const char* name2) {
    return GetCollType(QueryCollClass(name1), QueryCollClass(name2));
}
