#include "anim/nFlipFlop.h"

#include <cmath>
#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"

namespace {

const nCmdDef<nFlipFlop> cmds[] = {
    Bind<&nFlipFlop::AddKey>("b_addkey_fs", "AKEY"),
};

}  // namespace

const nClassInfo nFlipFlop::classInfo = nClassInfo::Make<nFlipFlop>("nflipflop", "nanimnode", cmds);

nFlipFlop::nFlipFlop() {
    keys_.reserve(8);
    // Keys name children: a loaded flip-flop must find them before its own commands run.
    SetSaveFlags(GetSaveFlags() | SaveChildrenFirst);
}

void nFlipFlop::Initialize() {
    nRoot* parent = GetParent();
    if (IsVisual(parent)) AddDepend(static_cast<nVisNode*>(parent));
    nAnimNode::Initialize();
}

bool nFlipFlop::AddKey(float time, const char* name) {
    if (!name) name = "";
    nRoot* obj = nullptr;
    if (std::strcmp(name, ".") == 0) obj = this;
    else if (std::strcmp(name, "..") == 0) obj = GetParent();
    else obj = Find(name);
    if (!IsVisual(obj)) {
        n_error("%s: addkey: '%s' names no visual node\n", GetFullName().c_str(), name);
        return false;
    }
    if (GetNumKeys() >= MaxKeys) {
        n_error("%s: addkey: more than %d keys\n", GetFullName().c_str(), MaxKeys);
        return false;
    }
    if (keys_.size() == keys_.capacity()) keys_.reserve(keys_.size() * 2);
    keys_.push_back(Key());
    keys_.back().time = time;
    keys_.back().node = static_cast<nVisNode*>(obj);
    lateKeyLogged_ = false;
    return true;
}

nVisNode* nFlipFlop::Select(float t) {
    const int n = GetNumKeys();
    if (n < 2) return nullptr;
    const float first = keys_[0].time;
    const float last = keys_[static_cast<size_t>(n - 1)].time;
    if (!(last > 0.0f)) return nullptr;
    if (repType_ == Loop) t = t - std::floor(t / last) * last;
    const float eps = (last - first) / 10000.0f;
    if (!(t >= first)) t = first;  // NaN too
    else if (t >= last) t = last - eps;
    if (first > 0.0f && !lateKeyLogged_) {
        // The clamp above holds the first key until its time.
        n_error("%s: the first key is at %f, not at 0\n", GetFullName().c_str(), static_cast<double>(first));
        lateKeyLogged_ = true;
    }
    int i = 0;
    while (i < n - 1 && keys_[static_cast<size_t>(i)].time < t) i++;
    return keys_[static_cast<size_t>(i)].node.GetUnsafe();
}

bool nFlipFlop::Attach(nSceneGraph2* sceneGraph) {
    if (current_) return true;
    nVisNode* node = Select(ReadChannel(sceneGraph, channelIndex_));
    if (!node) return true;
    current_ = node;
    node->Attach(sceneGraph);
    current_ = nullptr;
    return true;
}

void nFlipFlop::Compute(nSceneGraph2* sceneGraph) {
    if (current_) return;
    nVisNode* node = Select(ReadChannel(sceneGraph, channelIndex_));
    if (!node || !HasDepend(node)) return;
    current_ = node;
    node->Compute(sceneGraph);
    current_ = nullptr;
}

bool nFlipFlop::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    for (const Key& k : keys_) {
        nVisNode* node = k.node.GetUnsafe();
        // A key whose node died has nothing left to name.
        if (!node) continue;
        const char* name = node == this ? "." : node == GetParent() ? ".." : node->GetName();
        if (!ps->Put(this, nId("AKEY"), k.time, name)) return false;
    }
    return true;
}
