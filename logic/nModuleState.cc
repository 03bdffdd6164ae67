#include "logic/nModuleState.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "logic/nLogicNode.h"
#include "logic/nModule.h"

namespace {
const char* const kTypeNames[] = {nullptr, "animation", "collision", "visualizer", "physik"};
}  // namespace

nModuleState::nModuleState(const char* name, nLogicNode* owner) : name_(name ? name : "") {
    owner_ = owner;
    moduleClass_ = nKernelServer::ks ? nKernelServer::ks->FindClass("nmodule") : nullptr;
}

nModuleState::~nModuleState() {
    if (alive_) *alive_ = false;
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
        if (std::strcmp(modules_[i].path.Get(), name) == 0) return i;
    }
    return -1;
}

void nModuleState::AddModule(const char* name) {
    if (!name || !name[0] || FindModule(name) >= 0) return;
    owner_.Get();  // paths resolve from the owner: a state without one is a program error
    int i = modules_.Size();
    modules_.Append(Entry()).path = name;
    if (i >= InlineRefs) moreRefs_.Append(nRef<nModule>());
    count_ = modules_.Size();
    staleHot();
}

void nModuleState::RemoveModule(const char* name) {
    if (!name) return;
    for (int i = modules_.Size() - 1; i >= 0; i--) {
        if (std::strcmp(modules_[i].path.Get(), name) == 0) {
            int last = modules_.Size() - 1;
            for (int j = i; j < last; j++) RefAt(j) = RefAt(j + 1).GetUnsafe();
            if (last >= InlineRefs) moreRefs_.Erase(last - InlineRefs);
            else RefAt(last).Invalidate();
            modules_.Erase(i);
            count_ = modules_.Size();
            staleHot();
            return;
        }
    }
}

nModule* nModuleState::resolveSlow(int i) {
    Entry& e = modules_[i];
    // Relative paths resolve from the owner.
    nKernelServer* ks = nKernelServer::ks;
    nLogicNode* from = owner_.GetUnsafe();
    nRoot* obj = nullptr;
    if (ks && (from || e.path.Get()[0] == '/')) {
        ks->PushCwd(from);
        obj = ks->Lookup(e.path.Get());
        ks->PopCwd();
    }
    if (obj && obj->IsA(moduleClass_)) {
        e.logged = false;
        RefAt(i) = static_cast<nModule*>(obj);
        staleHot();
        return static_cast<nModule*>(obj);
    }
    if (!e.logged) {
        e.logged = true;
        nLogicNode* owner = owner_.GetUnsafe();
        n_error("%s: module state '%s': '%s' %s; skipped until it resolves\n",
                owner ? owner->GetFullName().c_str() : "?", name_.Get(), e.path.Get(),
                obj ? "is no nmodule" : "names nothing");
    }
    return nullptr;
}

void nModuleState::refreshHot() {
    hotOwner_ = owner_.GetUnsafe();
    hotAnimators_ = 0;
    for (int i = 0; i < InlineRefs; i++) {
        nModule* m = inlineRefs_[i].GetUnsafe();
        hotModules_[i] = m;
        hotTypes_[i] = static_cast<signed char>(m ? m->GetType() : nModule::NoType);
        if (m && m->AsAnimator()) hotAnimators_ |= static_cast<unsigned char>(1u << i);
    }
    hotAnimatorRun_ = 0;
    for (int i = 0; i < InlineRefs && i < count_; i++) {
        if (hotTypes_[i] != nModule::Animator || !(hotAnimators_ >> i & 1)) break;
        hotAnimatorRun_++;
    }
    hotClears_ = nRefBase::ClearCount();
}

void nModuleState::AttachModules() {
    WalkGuard guard(this);
    for (int i = 0; i < modules_.Size(); i++) {
        if (nModule* m = GetModule(i)) m->Attach();
        if (!guard.Alive()) return;
    }
}

void nModuleState::RenderAll() {
    WalkGuard guard(this);
    for (int i = 0; i < modules_.Size(); i++) {
        if (nModule* m = GetModule(i)) m->Render();
        if (!guard.Alive()) return;
    }
}
