#include "scene/nShadowServer.h"

#include <cstdio>
#include <string>

#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "scene/nShadowCaster.h"

namespace {

const nCmdDef<nShadowServer> cmds[] = {
    {"v_setcastshadows_b", "SCSH", [](nShadowServer* self, nCmd* c) { self->SetCastShadows(c->In()->GetB()); }},
    {"b_getcastshadows_v", "GCSH", [](nShadowServer* self, nCmd* c) { c->Out()->SetB(self->GetCastShadows()); }},
    {"v_setshadowcolor_ffff", "SSCL",
     [](nShadowServer* self, nCmd* c) {
         float r = c->In()->GetF(), g = c->In()->GetF(), b = c->In()->GetF();
         self->SetShadowColor(r, g, b, c->In()->GetF());
     }},
    {"ffff_getshadowcolor_v", "GSCL",
     [](nShadowServer* self, nCmd* c) {
         float r, g, b, a;
         self->GetShadowColor(r, g, b, a);
         c->Out()->SetF(r);
         c->Out()->SetF(g);
         c->Out()->SetF(b);
         c->Out()->SetF(a);
     }},
};

}  // namespace

const nClassInfo nShadowServer::classInfo = nClassInfo::Make<nShadowServer>("nshadowserver", "nroot", cmds);

nShadowServer::nShadowServer() {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* list = ks->Lookup("/sys/share/shadowcasters");
    if (list) list->AddRef();
    else list = ks->New("nroot", "/sys/share/shadowcasters");
    casterList_.Set(list);
}

nShadowServer::~nShadowServer() {
    nRoot* list = casterList_.GetUnsafe();
    casterList_.Set(nullptr);
    if (list) list->Release();
}

void nShadowServer::SetShadowColor(float r, float g, float b, float a) {
    color_[0] = r;
    color_[1] = g;
    color_[2] = b;
    color_[3] = a;
}

void nShadowServer::GetShadowColor(float& r, float& g, float& b, float& a) const {
    r = color_[0];
    g = color_[1];
    b = color_[2];
    a = color_[3];
}

nString nShadowServer::MakeCasterName(const char* name) {
    if (!name || !*name) {
        char buf[32];
        std::snprintf(buf, sizeof(buf), "res%d", resourceCounter_++);
        return nString(buf);
    }
    std::string out(name);
    for (char& ch : out) {
        if (ch == '.' || ch == '/' || ch == '\\' || ch == ':') ch = '_';
    }
    return nString(out.c_str());
}

nShadowCaster* nShadowServer::NewCaster(const char* name) {
    nRoot* list = casterList_.GetUnsafe();
    if (!list) nKernelServer::FatalError("Aborting.");
    nString objName = MakeCasterName(name);
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(list);
    nRoot* obj = ks->NewNoFail("nshadowcaster", objName.Get());
    ks->PopCwd();
    if (!obj || !obj->IsA("nshadowcaster")) {
        n_error("nShadowServer: caster '%s' could not be made\n", objName.Get());
        return nullptr;
    }
    return static_cast<nShadowCaster*>(obj);
}

nShadowCaster* nShadowServer::FindCaster(const char* name) {
    nRoot* list = casterList_.GetUnsafe();
    if (!list) nKernelServer::FatalError("Aborting.");
    nString objName = MakeCasterName(name);
    nRoot* obj = list->Find(objName.Get());
    return obj && obj->IsA("nshadowcaster") ? static_cast<nShadowCaster*>(obj) : nullptr;
}
