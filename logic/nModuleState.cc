#include "logic/nModuleState.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "logic/nLogicNode.h"
#include "logic/nModule.h"

namespace {
const char* const kTypeNames[] = {nullptr, "animation", "collision", "visualizer", "physik"};
}

nModuleState::nModuleState(const char* name, nLogicNode* owner) : name_(name ? name : "") {
    owner_ = owner;
    moduleClass_ = nKernelServer::ks ? nKernelServer::ks->FindClass("nmodule") : nullptr;
}

nModuleState::~nModuleState() {
    for (Entry* e : modules_) delete e;
    modules_.Clear();
}

const char* nModuleState::TypeName(int type) {
    return type >= Animation && type <= Physik ? kTypeNames[type] : nullptr;
}

int nModuleState::TypeFromName(const char* name) {
    if (!name) return Base;
    for (int t = Animation; t <= Physik; t++) {
        if (std::strcmp(kTypeNames[t], name) == 0) return t;
    }
    return Base;
}

int nModuleState::FindModule(const char* name) const {
    if (!name) return -1;
    for (int i = 0; i < modules_.Size(); i++) {
        const char* path = modules_[i]->ref.GetPath();
        if (path && std::strcmp(path, name) == 0) return i;
    }
    return -1;
}

void nModuleState::AddModule(const char* name) {
    if (!name || !name[0] || FindModule(name) >= 0) return;
    nLogicNode* owner = owner_.Get();
    auto* e = new Entry;
    e->ref.SetPath(name);
    e->ref.SetCwd(owner);
    modules_.Append(e);
}

void nModuleState::RemoveModule(const char* name) {
    if (!name) return;
    for (int i = modules_.Size() - 1; i >= 0; i--) {
        const char* path = modules_[i]->ref.GetPath();
        if (path && std::strcmp(path, name) == 0) {
            delete modules_[i];
            modules_.Erase(i);
            return;
        }
    }
}

nModule* nModuleState::GetModule(int i) {
    Entry* e = modules_[i];
    bool fresh = !e->ref.IsResolved();
    nRoot* obj = e->ref.Resolve();
    if (obj && (!fresh || obj->IsA(moduleClass_))) {
        e->logged = false;
        return static_cast<nModule*>(obj);
    }
    if (!e->logged) {
        e->logged = true;
        nLogicNode* owner = owner_.GetUnsafe();
        n_error("%s: module state '%s': '%s' %s; skipped until it resolves\n",
                owner ? owner->GetFullName().c_str() : "?", name_.Get(), e->ref.GetPath(),
                obj ? "is no nmodule" : "names nothing");
    }
    // Looked up again next time: the path may name a module then.
    e->ref.Invalidate();
    return nullptr;
}

nModule* nModuleState::ModuleOfType(int i, int type) {
    nModule* m = GetModule(i);
    return m && m->GetType() == type ? m : nullptr;
}

void nModuleState::AttachModules() {
    for (int i = 0; i < modules_.Size(); i++) {
        if (nModule* m = GetModule(i)) m->Attach();
    }
}

void nModuleState::RenderAll() {
    for (int i = 0; i < modules_.Size(); i++) {
        if (nModule* m = GetModule(i)) m->Render();
    }
}
