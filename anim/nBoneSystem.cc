#include "anim/nBoneSystem.h"

#include "anim/nJoint2.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"

namespace {

const nCmdDef<nBoneSystem> cmds[] = {
    Bind<&nBoneSystem::SetRootBone>("v_setrootbone_s", "SRJT"),
    Bind<&nBoneSystem::GetRootBone>("s_getrootbone_v", "GRJT"),
};

}  // namespace

const nClassInfo nBoneSystem::classInfo = nClassInfo::Make<nBoneSystem>("nbonesystem", "nvisnode", cmds);

nBoneSystem::nBoneSystem() { rootBone_.SetCwd(this); }

void nBoneSystem::SetRootBone(const char* path) {
    rootBone_.SetPath(path && *path ? path : nullptr);
    logged_ = false;
}

const char* nBoneSystem::GetRootBone() const {
    const char* p = rootBone_.GetPath();
    return p ? p : "";
}

nJoint2* nBoneSystem::GetBone(int i) const {
    return i >= 0 && i < int(bones_.size()) ? bones_[size_t(i)].GetUnsafe() : nullptr;
}

void nBoneSystem::count(nRoot* joint, int& n) const {
    n++;
    for (nRoot* c = joint->GetHead(); c; c = c->GetSucc()) {
        if (c->IsA(nJoint2::classInfo.name)) count(c, n);
    }
}

void nBoneSystem::fill(nRoot* joint) {
    bones_.emplace_back(static_cast<nJoint2*>(joint));
    for (nRoot* c = joint->GetHead(); c; c = c->GetSucc()) {
        if (c->IsA(nJoint2::classInfo.name)) fill(c);
    }
}

void nBoneSystem::collect() {
    nRoot* root = nullptr;
    for (nRoot* c = GetHead(); c && !root; c = c->GetSucc()) {
        if (c->IsA(nJoint2::classInfo.name)) root = c;
    }
    if (!root) root = rootBone_.Resolve();
    if (!root || !root->IsA(nJoint2::classInfo.name)) {
        if (!logged_) {
            n_error("%s: root bone '%s' is no njoint2; no bones numbered\n", GetFullName().c_str(), GetRootBone());
            logged_ = true;
        }
        return;
    }
    int n = 0;
    count(root, n);
    bones_.clear();
    bones_.reserve(size_t(n));
    fill(root);
    collected_ = true;
}

bool nBoneSystem::Attach(nSceneGraph2* sceneGraph) {
    if (!collected_) collect();
    return nVisNode::Attach(sceneGraph);
}

bool nBoneSystem::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SRJT"), GetRootBone());
}
