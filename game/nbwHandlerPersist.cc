#include "game/nbwHandlerPersist.h"

#include <string>

#include "kernel/nKernelServer.h"
#include "logic/nLogicNode.h"
#include "logic/nModuleState.h"
#include "logic/nPersist.h"

namespace {

std::string Key(const nModuleState* st) {
    const char* kind = nModuleState::TypeName(st->GetStateType());
    return std::string("handler_") + (st->GetName() ? st->GetName() : "") + "_" + (kind ? kind : "");
}

}  // namespace

void nbwPutVar(nPersist* store, const char* name, const nVariable& value) {
    nVariable* var = store->GetVar(name);
    if (var && var->GetType() != value.GetType()) {
        const char* had = nPersist::TypeName(var->GetType());
        const char* now = nPersist::TypeName(value.GetType());
        n_error("%s: store variable '%s' held type %s, takes %s\n", store->GetFullName().c_str(), name,
                had ? had : "value of no type", now ? now : "value of no type");
        *var = value;
        return;
    }
    store->SetVar(name, value);
}

void nbwStoreHandlers(nLogicNode* node, nPersist* store) {
    nVariable v;
    for (int i = 0; i < node->GetNumModuleStates(); i++) {
        const nModuleState* st = node->GetModuleStateAt(i);
        v.SetI(st->GetEnabled() ? 1 : 0);
        nbwPutVar(store, Key(st).c_str(), v);
    }
}

void nbwRestoreHandlers(nLogicNode* node, nPersist* store) {
    for (int i = 0; i < node->GetNumModuleStates(); i++) {
        nModuleState* st = node->GetModuleStateAt(i);
        const std::string key = Key(st);
        const nVariable* v = store->GetVar(key.c_str());
        if (!v) continue;
        if (v->GetType() == nVariable::Int) {
            st->SetEnabled(v->GetI() > 0);
        } else if (v->GetType() == nVariable::Float) {
            st->SetEnabled(v->GetF() > 0.0f);
        } else {
            n_error("%s: store variable '%s' is no number\n", store->GetFullName().c_str(), key.c_str());
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
