#include "logic/nPersist.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"

static const nCmdDef<nPersist> cmds[] = {
    Bind<&nPersist::SetI>("v_seti_si", "PSIT"),
    Bind<&nPersist::GetI>("i_geti_s", "PGIT"),
    Bind<&nPersist::SetF>("v_setf_sf", "PSFL"),
    Bind<&nPersist::GetF>("f_getf_s", "PGFL"),
    Bind<&nPersist::SetS>("v_sets_ss", "PSST"),
    Bind<&nPersist::GetS>("s_gets_s", "PGST"),
    Bind<&nPersist::SetV>("v_setv_sffff", "PSVC"),
    {"ffff_getv_s", "PGVC",
     [](nPersist* self, nCmd* c) {
         float v[4];
         self->GetV(c->In()->GetS(), v[0], v[1], v[2], v[3]);
         for (float f : v) c->Out()->SetF(f);
     }},
    Bind<&nPersist::GetNumVars>("i_getvarcount_v", "GVAC"),
    Bind<&nPersist::GetVarTypeAt>("s_getvartype_i", "GVAT"),
    Bind<&nPersist::GetVarNameAt>("s_getvarname_i", "GVAN"),
};
const nClassInfo nPersist::classInfo = nClassInfo::Make<nPersist>("npersist", "nroot", cmds);

// Names are few per store; a small table keeps lookups to one short bucket.
nPersist::nPersist() : vars_(4) {}

nPersist::~nPersist() {
    while (nHashNode* n = vars_.RemHead()) delete static_cast<nPersistVar*>(n);
}

const char* nPersist::TypeName(nVariable::Type type) {
    switch (type) {
        case nVariable::Int: return "int";
        case nVariable::Float: return "float";
        case nVariable::Vector4: return "vector";
        case nVariable::String: return "string";
        default: return nullptr;
    }
}

nVariable* nPersist::SetVar(const char* name, const nVariable& value) {
    if (!name) name = "";
    nPersistVar* pv = FindVar(name);
    if (!pv && numVars_ >= MaxSaveValuesAStore) {
        // A store fuller than a save may be would make every later save fail to load.
        if (!fullLogged_) {
            n_error("%s: holds %d values, the most a store keeps: '%s' and any other new one are not kept\n",
                    GetFullName().c_str(), numVars_, name);
        }
        fullLogged_ = true;
        return nullptr;
    }
    if (!pv) {
        pv = new nPersistVar(name);
        vars_.AddTail(pv);
        numVars_++;
    } else if (pv->Get().GetType() != value.GetType()) {
        nKernelServer::FatalError("Aborting!\n");
    }
    pv->Get() = value;
    pv->origin = nScriptServer::CurrentOrigin();
    pv->charge.Keep(pv->Cost());
    return &pv->Get();
}

nPersistVar* nPersist::FindVar(const char* name) const {
    return static_cast<nPersistVar*>(vars_.Find(name ? name : ""));
}

nVariable* nPersist::GetVar(const char* name) const {
    nPersistVar* pv = FindVar(name);
    return pv ? &pv->Get() : nullptr;
}

void nPersist::RemoveVar(const char* name) {
    nPersistVar* pv = static_cast<nPersistVar*>(vars_.Find(name ? name : ""));
    if (!pv) return;
    pv->Remove();
    delete pv;
    numVars_--;
}

nPersistVar* nPersist::GetVarAt(int index) const {
    if (index < 0) return nullptr;
    nPersistVar* pv = GetFirstVar();
    for (; pv && index > 0; index--) pv = pv->GetSucc();
    return pv;
}

nVariable* nPersist::ScriptSlot(const char* cmd, const char* name, nVariable::Type type, size_t textBytes) {
    if (!name) name = "";
    nPersistVar* pv = FindVar(name);
    nVariable* var = pv ? &pv->Get() : nullptr;
    if (var && var->GetType() != type) {
        n_error("%s: %s: variable '%s' holds a %s, not a %s; unchanged\n", GetFullName().c_str(), cmd, name,
                TypeName(var->GetType()), TypeName(type));
        return nullptr;
    }
    if (pv) {
        if (!pv->charge.Hold(pv->Cost(textBytes), this, cmd)) return nullptr;
        pv->origin = nScriptServer::CurrentOrigin();
    } else if (nScriptServer::DataRunning() &&
               !nDataCharge::Fits(sizeof(nPersistVar) + std::strlen(name) + textBytes, this, cmd)) {
        return nullptr;
    }
    if (!var) {
        nVariable fresh;
        switch (type) {
            case nVariable::Int: fresh.SetI(0); break;
            case nVariable::Float: fresh.SetF(0.0f); break;
            case nVariable::String: fresh.SetS(""); break;
            default: {
                const float zero[4] = {0, 0, 0, 0};
                fresh.SetV4(zero);
            }
        }
        var = SetVar(name, fresh);
        if (!var) return nullptr;
        FindVar(name)->charge.Keep(FindVar(name)->Cost(textBytes));
    }
    return var;
}

const nVariable* nPersist::ScriptRead(const char* cmd, const char* name, nVariable::Type type) const {
    if (!name) name = "";
    const nVariable* var = GetVar(name);
    if (!var) {
        n_error("%s: %s: no variable '%s'\n", GetFullName().c_str(), cmd, name);
        return nullptr;
    }
    if (var->GetType() != type) {
        n_error("%s: %s: variable '%s' holds a %s, not a %s\n", GetFullName().c_str(), cmd, name,
                TypeName(var->GetType()), TypeName(type));
        return nullptr;
    }
    return var;
}

void nPersist::SetI(const char* name, int32_t v) {
    if (nVariable* var = ScriptSlot("v_seti_si", name, nVariable::Int, 0)) var->SetI(v);
}

void nPersist::SetF(const char* name, float v) {
    if (nVariable* var = ScriptSlot("v_setf_sf", name, nVariable::Float, 0)) var->SetF(v);
}

void nPersist::SetS(const char* name, const char* v) {
    if (nVariable* var = ScriptSlot("v_sets_ss", name, nVariable::String, v ? std::strlen(v) + 1 : 1)) var->SetS(v);
}

void nPersist::SetV(const char* name, float x, float y, float z, float w) {
    const float v[4] = {x, y, z, w};
    if (nVariable* var = ScriptSlot("v_setv_sffff", name, nVariable::Vector4, 0)) var->SetV4(v);
}

int32_t nPersist::GetI(const char* name) const {
    const nVariable* var = ScriptRead("i_geti_s", name, nVariable::Int);
    return var ? var->GetI() : 0;
}

float nPersist::GetF(const char* name) const {
    const nVariable* var = ScriptRead("f_getf_s", name, nVariable::Float);
    return var ? var->GetF() : 0.0f;
}

const char* nPersist::GetS(const char* name) const {
    const nVariable* var = ScriptRead("s_gets_s", name, nVariable::String);
    return var ? var->GetS() : "";
}

void nPersist::GetV(const char* name, float& x, float& y, float& z, float& w) const {
    const nVariable* var = ScriptRead("ffff_getv_s", name, nVariable::Vector4);
    const float zero[4] = {0, 0, 0, 0};
    const float* v = var ? var->GetV4() : zero;
    x = v[0];
    y = v[1];
    z = v[2];
    w = v[3];
}

const char* nPersist::GetVarTypeAt(int index) const {
    nPersistVar* pv = GetVarAt(index);
    const char* name = pv ? TypeName(pv->Get().GetType()) : nullptr;
    if (!name) {
        n_error("%s: s_getvartype_i: no variable at position %d (%d held)\n", GetFullName().c_str(), index, numVars_);
        return "";
    }
    return name;
}

const char* nPersist::GetVarNameAt(int index) const {
    nPersistVar* pv = GetVarAt(index);
    const char* name = pv ? pv->GetName() : nullptr;
    return name ? name : "";
}

bool nPersist::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    for (nPersistVar* pv = GetFirstVar(); pv; pv = pv->GetSucc()) {
        const nVariable& v = pv->Get();
        const char* name = pv->GetName() ? pv->GetName() : "";
        // A clone's variable keeps the origin of the original's.
        nScriptServer::OriginScope origin(pv->origin);
        bool ok = false;
        switch (v.GetType()) {
            case nVariable::Int: ok = ps->Put(this, nId("PSIT"), name, v.GetI()); break;
            case nVariable::Float: ok = ps->Put(this, nId("PSFL"), name, v.GetF()); break;
            case nVariable::Vector4: {
                const float* f = v.GetV4();
                ok = ps->Put(this, nId("PSVC"), name, f[0], f[1], f[2], f[3]);
                break;
            }
            case nVariable::String: ok = ps->Put(this, nId("PSST"), name, v.GetS()); break;
            default: nKernelServer::FatalError("unknown variable type !\n");
        }
        if (!ok) return false;
    }
    return true;
}

namespace {

nVariable::Type TypeOfSetter(const char* inputs) {
    switch (inputs[1]) {
        case 'i': return nVariable::Int;
        case 's': return nVariable::String;
        default: return inputs[2] ? nVariable::Vector4 : nVariable::Float;
    }
}

// A save's setter on a variable of another type would be refused by the store as a script's
// is; the save is refused instead, before the store sees it.
template <const char* Inputs>
bool SetterFits(nRoot* obj, const nArg* args, int, std::string& why) {
    const char* name = args[0].GetS() ? args[0].GetS() : "";
    if (std::strlen(name) > nPersist::MaxSaveNameBytes) {
        why = "a value's name of more than " + std::to_string(nPersist::MaxSaveNameBytes) + " bytes";
        return false;
    }
    const nVariable* v = static_cast<nPersist*>(obj)->GetVar(name);
    const nVariable::Type want = TypeOfSetter(Inputs);
    if (!v || v->GetType() == want) return true;
    why = std::string("the variable '") + name + "' holds a " + nPersist::TypeName(v->GetType()) + ", not a " +
          nPersist::TypeName(want);
    return false;
}

bool SameFloat(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// The store took the value (data's bounds on what it keeps may refuse it).
template <const char* Inputs>
bool SetterTook(nRoot* obj, const nArg* args, int count, std::string& why) {
    const char* name = args[0].GetS() ? args[0].GetS() : "";
    const nVariable* v = static_cast<nPersist*>(obj)->GetVar(name);
    bool took = v && v->GetType() == TypeOfSetter(Inputs);
    if (took) {
        switch (v->GetType()) {
            case nVariable::Int: took = v->GetI() == args[1].GetI(); break;
            case nVariable::Float: took = SameFloat(v->GetF(), args[1].GetF()); break;
            case nVariable::String: took = std::strcmp(v->GetS() ? v->GetS() : "", args[1].GetS() ? args[1].GetS() : "") == 0; break;
            default:
                for (int i = 0; i < 4 && i + 1 < count; i++) took = took && SameFloat(v->GetV4()[i], args[i + 1].GetF());
        }
    }
    if (!took) why = std::string("the store did not take the value of '") + name + "'";
    return took;
}

constexpr char kSetI[] = "si";
constexpr char kSetF[] = "sf";
constexpr char kSetS[] = "ss";
constexpr char kSetV[] = "sffff";

}  // namespace

nObjectFileReader::Format nPersist::SaveFormat() {
    // "/usr/logic" and a name a level, each with its '/': a path play writes is a text.
    static_assert(10 + MaxSaveDepth * (MaxSaveNameBytes + 1) <= MaxSaveTextBytes);
    nObjectFileReader::Format f;
    f.classes = {"nroot", "npersist", "npersistlogic"};
    f.commands = {
        {"seti", kSetI, SetterFits<kSetI>, SetterTook<kSetI>, true},
        {"setf", kSetF, SetterFits<kSetF>, SetterTook<kSetF>, true},
        {"sets", kSetS, SetterFits<kSetS>, SetterTook<kSetS>, true},
        {"setv", kSetV, SetterFits<kSetV>, SetterTook<kSetV>, true},
    };
    f.limits = {MaxSaveBytes,       MaxSaveObjects,   MaxSaveDepth,    uint64_t(MaxSaveValuesAStore),
                MaxSaveBytes,       MaxSaveNameBytes, MaxSaveTextBytes};
    return f;
}

bool nPersist::FitsBelow(const nRoot* tree, const nRoot* parent) {
    const nRoot* root = nKernelServer::ks ? nKernelServer::ks->Lookup("/usr/persist") : nullptr;
    int depth = 0;
    const nRoot* at = parent;
    for (; at && at != root; at = at->GetParent()) depth++;
    if (!root || !at || !tree) return true;
    // The levels of the tree, itself the first, walked without recursion.
    int height = 0;
    std::vector<std::pair<const nRoot*, int>> walk{{tree, 1}};
    while (!walk.empty()) {
        auto [o, level] = walk.back();
        walk.pop_back();
        height = std::max(height, level);
        if (depth + height > MaxSaveDepth) return false;
        for (const nRoot* c = o->GetHead(); c; c = c->GetSucc()) walk.emplace_back(c, level + 1);
    }
    return true;
}
