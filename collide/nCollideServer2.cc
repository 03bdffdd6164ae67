#include "collide/nCollideServer2.h"

#include <cstring>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideShape2.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nFileServer2.h"

namespace {

// Type texts of the script commands; -1 for any other text.
int CollTypeFromString(const char* text) {
    for (int t = 0; t <= 3; t++) {
        if (text && std::strcmp(text, nCollTypeToString(t)) == 0) return t;
    }
    return -1;
}

const nCmdDef<nCollideServer2> cmds[] = {
    {"v_begincollclasses_v", "BGCC", [](nCollideServer2* self, nCmd*) { self->BeginCollClasses(); }},
    {"v_addcollclass_s", "ADCC", [](nCollideServer2* self, nCmd* c) { self->AddCollClass(c->In()->GetS()); }},
    {"v_endcollclasses_v", "ENCC", [](nCollideServer2* self, nCmd*) { self->EndCollClasses(); }},
    {"v_begincolltypes_v", "BGCT", [](nCollideServer2* self, nCmd*) { self->BeginCollTypes(); }},
    {"v_addcolltype_sss", "ADCT",
     [](nCollideServer2* self, nCmd* c) {
         const char* a = c->In()->GetS();
         const char* b = c->In()->GetS();
         const char* typeText = c->In()->GetS();
         int type = CollTypeFromString(typeText);
         if (type < 0) {
             n_error("%s: addcolltype: unknown collision type '%s' (ignore, quick, contact or exact)\n",
                     self->GetFullName().c_str(), typeText ? typeText : "");
             return;
         }
         self->AddCollType(a, b, nCollType(type));
     }},
    {"v_endcolltypes_v", "ENCT", [](nCollideServer2* self, nCmd*) { self->EndCollTypes(); }},
    {"s_querycolltype_ss", "QRCT",
     [](nCollideServer2* self, nCmd* c) {
         const char* a = c->In()->GetS();
         const char* b = c->In()->GetS();
         c->Out()->SetS(nCollTypeToString(self->QueryCollType(a, b)));
     }},
};

}  // namespace

const nClassInfo nCollideServer2::classInfo = nClassInfo::Make<nCollideServer2>("ncollideserver2", "nroot", cmds);

nCollideServer2::nCollideServer2() : contexts_(16) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* root = ks->Lookup("/sys/share/collideshapes");
    if (root) {
        // Counted for this server too, so the Release at destruction is balanced.
        root->AddRef();
    } else {
        root = ks->New("nroot", "/sys/share/collideshapes");
    }
    shapesRoot_.Set(root);
}

nCollideServer2::~nCollideServer2() {
    if (nRoot* root = shapesRoot_.GetUnsafe()) {
        shapesRoot_.Set(nullptr);
        root->Release();
    }
    while (nHashNode* n = contexts_.RemHead()) delete static_cast<nCollideContext2*>(n);
}

// ---- contexts

nCollideContext2* nCollideServer2::NewContext(const char* name) {
    auto* ctx = new nCollideContext2(this, name);
    contexts_.AddHead(ctx);
    return ctx;
}

void nCollideServer2::ReleaseContext(nCollideContext2* ctx) {
    if (!ctx) return;
    ctx->Remove();
    delete ctx;
}

nCollideContext2* nCollideServer2::FindContext(const char* name) const {
    return name ? static_cast<nCollideContext2*>(contexts_.Find(name)) : nullptr;
}

nCollideContext2* nCollideServer2::GetFirstContext() const {
    return static_cast<nCollideContext2*>(contexts_.GetHead());
}

nCollideContext2* nCollideServer2::GetNextContext(nCollideContext2* ctx) const {
    return static_cast<nCollideContext2*>(ctx->GetSucc());
}

// ---- shapes

void nCollideServer2::MakeShapeName(const char* name, char* buf, size_t size) {
    if (!name) name = "";
    size_t len = std::strlen(name);
    if (len > 511) name += len - 511;
    nKernelServer::StrCopy(buf, name, size);
    for (char* p = buf; *p; p++) {
        if (*p == '.' || *p == '/' || *p == '\\' || *p == ':') *p = '_';
    }
}

nCollideShape2* nCollideServer2::NewShape(int, const char* name) {
    char objName[512];
    // A mesh file's every spelling shares one shape.
    MakeShapeName(nFileServer2::Share(name).c_str(), objName, sizeof(objName));
    nRoot* root = shapesRoot_.GetUnsafe();
    if (!root) nKernelServer::FatalError("Aborting.");
    if (nRoot* found = root->Find(objName)) {
        found->AddRef();
        return static_cast<nCollideShape2*>(found);
    }
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(root);
    nRoot* shape = ks->New("ncollideshape2", objName);
    ks->PopCwd();
    return static_cast<nCollideShape2*>(shape);
}

// ---- classes and types

int nCollideServer2::QueryCollClass(const char* name) {
    return classes_.QueryCollClass(name);
}

nCollType nCollideServer2::QueryCollType(const char* name1, const char* name2) {
    int i1 = QueryCollClass(name1);
    int i2 = QueryCollClass(name2);
    return GetCollType(i1, i2);
}

bool nCollideServer2::FirstSimpleShapeReport(int class1, int class2) {
    if (class1 > class2) std::swap(class1, class2);
    return simpleShapeReports_.insert({class1, class2}).second;
}

// ---- frame

void nCollideServer2::BeginFrame() {
    inFrame_ = true;
    objectIdCounter_ = 0;
    for (nCollideContext2* c = GetFirstContext(); c; c = GetNextContext(c)) {
        c->SetActive(true);
        c->BeginFrame();
    }
}

void nCollideServer2::EndFrame() {
    for (nCollideContext2* c = GetFirstContext(); c; c = GetNextContext(c)) c->SetActive(false);
    inFrame_ = false;
}

void nCollideServer2::Collide() {
    for (nCollideContext2* c = GetFirstContext(); c; c = GetNextContext(c)) c->Collide();
}

void nCollideServer2::Visualize(nGfxServer* gfx) {
    for (nCollideContext2* c = GetFirstContext(); c; c = GetNextContext(c)) c->Visualize(gfx);
}

void nCollideServer2::ForgetObject(const nCollideObject2* obj) {
    for (nCollideContext2* c = GetFirstContext(); c; c = GetNextContext(c)) c->ForgetObject(obj);
}
