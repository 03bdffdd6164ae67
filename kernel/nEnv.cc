#include "kernel/nEnv.h"

#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nPersistServer.h"

static const nCmdDef<nEnv> cmds[] = {
    {"s_gettype_v", "GTYP", [](nEnv* self, nCmd* c) { c->Out()->SetS(self->GetTypeName()); }},
    {"i_geti_v", "GETI", [](nEnv* self, nCmd* c) { c->Out()->SetI(self->GetI()); }},
    {"f_getf_v", "GETF", [](nEnv* self, nCmd* c) { c->Out()->SetF(self->GetF()); }},
    {"b_getb_v", "GETB", [](nEnv* self, nCmd* c) { c->Out()->SetB(self->GetB()); }},
    {"s_gets_v", "GETS",
     [](nEnv* self, nCmd* c) { c->Out()->SetS(self->GetType() == nArg::String ? self->GetS() : "<error>"); }},
    {"o_geto_v", "GETO", [](nEnv* self, nCmd* c) { c->Out()->SetO(self->GetO()); }},
    {"v_seti_i", "SETI", [](nEnv* self, nCmd* c) { self->SetI(c->In()->GetI()); }},
    {"v_setf_f", "SETF", [](nEnv* self, nCmd* c) { self->SetF(c->In()->GetF()); }},
    {"v_setb_b", "SETB", [](nEnv* self, nCmd* c) { self->SetB(c->In()->GetB()); }},
    {"v_sets_s", "SETS", [](nEnv* self, nCmd* c) { self->SetS(c->In()->GetS()); }},
    {"v_seto_o", "SETO", [](nEnv* self, nCmd* c) { self->SetO(c->In()->GetO()); }},
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

void nEnv::SetI(int32_t v) {
    object_.Set(nullptr);
    value_.SetI(v);
}

void nEnv::SetF(float v) {
    object_.Set(nullptr);
    value_.SetF(v);
}

void nEnv::SetB(bool v) {
    object_.Set(nullptr);
    value_.SetB(v);
}

void nEnv::SetS(const char* text) {
    object_.Set(nullptr);
    value_.SetS(text ? text : "");
}

void nEnv::SetO(nRoot* obj) {
    value_.SetType(nArg::Object);
    object_.Set(obj);
}

void nEnv::Clear() {
    object_.Set(nullptr);
    value_.Reset();
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

nCmd* nEnv::NewSaveCmd() {
    uint32_t id = 0;
    switch (value_.GetType()) {
        case nArg::Int: id = nId("SETI"); break;
        case nArg::Float: id = nId("SETF"); break;
        case nArg::String: id = nId("SETS"); break;
        case nArg::Bool: id = nId("SETB"); break;
        case nArg::Object: id = nId("SETO"); break;
        default: return nullptr;
    }
    nCmd* cmd = NewCmd(id);
    if (!cmd) return nullptr;
    nArg* in = cmd->In();
    switch (value_.GetType()) {
        case nArg::Int: in->SetI(GetI()); break;
        case nArg::Float: in->SetF(GetF()); break;
        case nArg::String: in->SetS(GetS()); break;
        case nArg::Bool: in->SetB(GetB()); break;
        default: in->SetO(GetO()); break;
    }
    cmd->Rewind();
    return cmd;
}

bool nEnv::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    // A void value has no setter to write.
    nCmd* cmd = NewSaveCmd();
    return !cmd || ps->PutCmd(cmd, 0);
}
