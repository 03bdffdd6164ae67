#include "kernel/nEnv.h"

#include <cstring>

#include "kernel/nPersistServer.h"
#include "kernel/nScriptServer.h"

// Rows that are a plain call of one member function name it (Bind); the rest have a
// short handler of their own.
static const nCmdDef<nEnv> cmds[] = {
    Bind<&nEnv::GetTypeName>("s_gettype_v", "GTYP"),
    Bind<&nEnv::GetI>("i_geti_v", "GETI"),
    Bind<&nEnv::GetF>("f_getf_v", "GETF"),
    Bind<&nEnv::GetB>("b_getb_v", "GETB"),
    {"s_gets_v", "GETS",
     [](nEnv* self, nCmd* c) { c->Out()->SetS(self->GetType() == nArg::String ? self->GetS() : "<error>"); }},
    Bind<&nEnv::GetO>("o_geto_v", "GETO"),
    Bind<&nEnv::SetI>("v_seti_i", "SETI"),
    Bind<&nEnv::SetF>("v_setf_f", "SETF"),
    Bind<&nEnv::SetB>("v_setb_b", "SETB"),
    Bind<&nEnv::SetS>("v_sets_s", "SETS"),
    Bind<&nEnv::SetO>("v_seto_o", "SETO"),
};
const nClassInfo nEnv::classInfo = nClassInfo::Make<nEnv>("nenv", "nroot", cmds);

nEnv::nEnv() = default;

nEnv::~nEnv() {
    Clear();
}

const char* nEnv::GetTypeName() const {
    switch (value_.GetType()) {
        case nArg::Int: return "int";
        case nArg::Float: return "float";
        case nArg::String: return "string";
        case nArg::Bool: return "bool";
        case nArg::Object: return "object";
        default: return "void";
    }
}

bool nEnv::Writable() const {
    // An assign is a path the file server trusts: data's text changes none.
    if (!nScriptServer::DataRunning()) return true;
    const nRoot* dir = GetParent();
    const nRoot* share = dir ? dir->GetParent() : nullptr;
    const nRoot* sys = share ? share->GetParent() : nullptr;
    const auto named = [](const nRoot* o, const char* name) { return o && o->GetName() && std::strcmp(o->GetName(), name) == 0; };
    if (!(named(dir, "assigns") && named(share, "share") && named(sys, "sys") && sys->GetParent() && !sys->GetParent()->GetParent())) {
        return true;
    }
    return nScriptServer::PersonOnly("changing an assign");
}

void nEnv::SetI(int32_t v) {
    if (!Writable()) return;
    object_.Set(nullptr);
    value_.SetI(v);
    charge_.Drop();
}

void nEnv::SetF(float v) {
    if (!Writable()) return;
    object_.Set(nullptr);
    value_.SetF(v);
    charge_.Drop();
}

void nEnv::SetB(bool v) {
    if (!Writable()) return;
    object_.Set(nullptr);
    value_.SetB(v);
    charge_.Drop();
}

void nEnv::SetS(const char* text) {
    if (!Writable()) return;
    object_.Set(nullptr);
    if (!text) text = "";
    if (!charge_.Hold(std::strlen(text) + 1, this, "v_sets_s")) return;
    value_.SetS(text);
}

void nEnv::SetO(nRoot* obj) {
    if (!Writable()) return;
    value_.SetType(nArg::Object);
    object_.Set(obj);
    charge_.Drop();
}

void nEnv::Clear() {
    if (!Writable()) return;
    object_.Set(nullptr);
    value_.Reset();
    charge_.Drop();
}

int32_t nEnv::GetI() const {
    return value_.GetType() == nArg::Int ? value_.GetI() : 0;
}

float nEnv::GetF() const {
    return value_.GetType() == nArg::Float ? value_.GetF() : 0.0f;
}

bool nEnv::GetB() const {
    return value_.GetType() == nArg::Bool ? value_.GetB() : false;
}

const char* nEnv::GetS() const {
    return value_.GetType() == nArg::String ? value_.GetS() : nullptr;
}

nRoot* nEnv::GetO() const {
    return value_.GetType() == nArg::Object ? object_.GetUnsafe() : nullptr;
}

bool nEnv::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    switch (value_.GetType()) {
        case nArg::Int: return ps->Put(this, nId("SETI"), GetI());
        case nArg::Float: return ps->Put(this, nId("SETF"), GetF());
        case nArg::String: return ps->Put(this, nId("SETS"), GetS());
        case nArg::Bool: return ps->Put(this, nId("SETB"), GetB());
        case nArg::Object: return ps->Put(this, nId("SETO"), GetO());
        default: return true;  // a void value has no setter to write
    }
}
