#include "game/nbwHandlerPersist.h"

#include <cstring>
#include <string>

#include "kernel/nKernelServer.h"
#include "logic/nLogicNode.h"
#include "logic/nModuleState.h"
#include "logic/nPersist.h"

namespace {

// The key in `buf`; a state name too long for it falls back to `spill`.
const char* Key(const nModuleState* st, char (&buf)[96], std::string& spill) {
    const char* kind = nModuleState::TypeName(st->GetStateType());
    const char* name = st->GetName() ? st->GetName() : "";
    if (!kind) kind = "";
    const size_t a = std::strlen(name), b = std::strlen(kind);
    if (8 + a + 1 + b < sizeof(buf)) {
        std::memcpy(buf, "handler_", 8);
        std::memcpy(buf + 8, name, a);
        buf[8 + a] = '_';
        std::memcpy(buf + 9 + a, kind, b + 1);
        return buf;
    }
    spill = std::string("handler_") + name + "_" + (kind ? kind : "");
    return spill.c_str();
}

}  // namespace

void nbwPutVar(nPersist* store, const char* name, const nVariable& value) {
    nPersistVar* pv = store->FindVar(name);
    nVariable* var = pv ? &pv->Get() : nullptr;
    if (pv) pv->origin = nScriptServer::CurrentOrigin();
    if (var && var->GetType() != value.GetType()) {
        const char* had = nPersist::TypeName(var->GetType());
        const char* now = nPersist::TypeName(value.GetType());
        n_error("%s: store variable '%s' held type %s, takes %s\n", store->GetFullName().c_str(), name,
                had ? had : "value of no type", now ? now : "value of no type");
        *var = value;
        pv->charge.Keep(pv->Cost());
        return;
    }
    // One lookup for a variable that is there already (a store is written at every release).
    if (var) {
        *var = value;
        pv->charge.Keep(pv->Cost());
    } else {
        store->SetVar(name, value);
    }
}

void nbwStoreHandlers(nLogicNode* node, nPersist* store) {
    nVariable v;
    char buf[96];
    std::string spill;
    for (int i = 0; i < node->GetNumModuleStates(); i++) {
        const nModuleState* st = node->GetModuleStateAt(i);
        v.SetI(st->GetEnabled() ? 1 : 0);
        nbwPutVar(store, Key(st, buf, spill), v);
    }
}

void nbwRestoreHandlers(nLogicNode* node, nPersist* store) {
    char buf[96];
    std::string spill;
    for (int i = 0; i < node->GetNumModuleStates(); i++) {
        nModuleState* st = node->GetModuleStateAt(i);
        const char* key = Key(st, buf, spill);
        const nVariable* v = store->GetVar(key);
        if (!v) continue;
        if (v->GetType() == nVariable::Int) {
            st->SetEnabled(v->GetI() > 0);
        } else if (v->GetType() == nVariable::Float) {
            st->SetEnabled(v->GetF() > 0.0f);
        } else {
            n_error("%s: store variable '%s' is no number\n", store->GetFullName().c_str(), key);
        }
    }
}

bool nbwGetNumber(nPersist* store, const char* name, float& out) {
    const nVariable* v = store->GetVar(name);
    if (!v) return false;
    if (v->GetType() == nVariable::Float) {
        out = v->GetF();
    } else if (v->GetType() == nVariable::Int) {
        out = float(v->GetI());
    } else {
        n_error("%s: store variable '%s' is no number: skipped\n", store->GetFullName().c_str(), name);
        return false;
    }
    return true;
}
