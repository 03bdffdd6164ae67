#include "anim/nBoneAnim.h"

#include "anim/nBone.h"
#include "anim/nBoneAnimState.h"
#include "anim/nBoneKeys.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"

namespace {

const nCmdDef<nBoneAnim> cmds[] = {
    Bind<&nBoneAnim::BeginBones>("v_beginbones_i", "BJNT"),
    Bind<&nBoneAnim::SetBone>("v_setbone_is", "SJNT"),
    Bind<&nBoneAnim::EndBones>("v_endbones_v", "EJNT"),
    Bind<&nBoneAnim::GetNumBones>("i_getnumbones_v", "GNJS"),
    Bind<&nBoneAnim::SetNormStates>("v_setnormstates_b", "SENS"),
    Bind<&nBoneAnim::GetNormStates>("b_getnormstates_v", "GENS"),
    Bind<&nBoneAnim::EvalBones>("v_evalbones_v", "GTEJ"),
    Bind<&nBoneAnim::UpdateBones>("v_updatebones_v", "GTUJ"),
};

}  // namespace

const nClassInfo nBoneAnim::classInfo = nClassInfo::Make<nBoneAnim>("nboneanim", "nvisnode", cmds);

nBoneAnim::nBoneAnim() = default;

void nBoneAnim::Initialize() {
    nVisNode::Initialize();
    nRoot* parent = GetParent();
    nRoot* grand = parent ? parent->GetParent() : nullptr;
    if (grand && IsVisual(grand)) AddDepend(static_cast<nVisNode*>(grand));
}

nBone* nBoneAnim::baseBone() {
    if (!basePath_.empty()) {
        nRoot* obj = nKernelServer::ks->Lookup(basePath_.c_str());
        if (obj && obj->IsA(nBone::classInfo.name)) return static_cast<nBone*>(obj);
        basePath_.clear();
    }
    for (nRoot* up = GetParent(); up; up = up->GetParent()) {
        for (nRoot* c = up->GetHead(); c; c = c->GetSucc()) {
            if (c->IsA(nBone::classInfo.name)) {
                basePath_ = c->GetFullName();
                return static_cast<nBone*>(c);
            }
        }
    }
    return nullptr;
}

void nBoneAnim::BeginBones(int n) {
    // As many bones as a key file can animate.
    if (n < 0 || n > nBoneKeyTable::MaxBones) {
        n_error("%s: beginbones: %d bones is outside 0 to %lld\n", GetFullName().c_str(), n, nBoneKeyTable::MaxBones);
        return;
    }
    const uint64_t each = sizeof(nRef<nBone>) + sizeof(std::string) + sizeof(vector3) + sizeof(quaternion);
    if (!bonesCharge_.Hold(uint64_t(n) * each, this, "v_beginbones_i")) return;
    bones_.assign(size_t(n), nRef<nBone>());
    names_.assign(size_t(n), std::string());
    trans_.assign(size_t(n), vector3());
    rot_.assign(size_t(n), quaternion());
    open_ = true;
}

void nBoneAnim::SetBone(int i, const char* name) {
    if (i < 0 || i >= int(bones_.size())) {
        n_error("%s: setbone: bone %d is outside 0 to %d\n", GetFullName().c_str(), i, int(bones_.size()) - 1);
        return;
    }
    nBone* base = baseBone();
    bones_[size_t(i)].Set(base ? base->FindBone(name) : nullptr);
    names_[size_t(i)] = name ? name : "";
}

nBone* nBoneAnim::GetBone(int i) const {
    return i >= 0 && i < int(bones_.size()) ? bones_[size_t(i)].GetUnsafe() : nullptr;
}

void nBoneAnim::EvalBones() {
    if (!pending_) return;
    const int n = int(bones_.size());
    for (int i = 0; i < n; i++) {
        nBone* bone = bones_[size_t(i)].GetUnsafe();
        trans_[size_t(i)] = bone ? bone->GetOffsetTranslation() : vector3();
        rot_[size_t(i)] = bone ? bone->GetOffsetRotation() : quaternion();
    }
    // The factor comes from the states of the previous evaluation; without any, or with
    // weights summing to 0, no state contributes.
    float factor = 1.0f;
    if (normStates_) {
        float sum = 0.0f;
        for (int s = 0; s < numStates_; s++)
            if (nBoneAnimState* st = states_[s].GetUnsafe()) sum += st->GetWeight();
        factor = sum != 0.0f ? 1.0f / sum : 0.0f;
    }
    for (int s = 0; s < numStates_; s++) states_[s].Set(nullptr);
    numStates_ = 0;
    for (nRoot* c = GetHead(); c && numStates_ < MaxStates; c = c->GetSucc()) {
        if (c->GetClass() && c->GetClass()->GetName() &&
            std::string(c->GetClass()->GetName()) == nBoneAnimState::classInfo.name)
            states_[numStates_++].Set(static_cast<nBoneAnimState*>(c));
    }
    for (int s = 0; s < numStates_; s++) {
        nBoneAnimState* st = states_[s].GetUnsafe();
        st->ClearStartCaptured();
        if (factor != 0.0f && n > 0) st->Accumulate(trans_.data(), rot_.data(), n, factor);
    }
    pending_ = false;
}

void nBoneAnim::UpdateBones() {
    for (size_t i = 0; i < bones_.size(); i++) {
        nBone* bone = bones_[i].GetUnsafe();
        if (!bone) continue;
        bone->Txyz(trans_[i].x, trans_[i].y, trans_[i].z);
        bone->Qxyzw(rot_[i].x, rot_[i].y, rot_[i].z, rot_[i].w);
    }
}

void nBoneAnim::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Attach(sceneGraph);
    EvalBones();
    UpdateBones();
    pending_ = true;
    nVisNode::Compute(sceneGraph);
}

bool nBoneAnim::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    bool ok = ps->Put(this, nId("SENS"), normStates_) && ps->Put(this, nId("BJNT"), GetNumBones());
    for (int i = 0; ok && i < GetNumBones(); i++) {
        nBone* bone = GetBone(i);
        const char* name = bone && bone->GetName() ? bone->GetName() : names_[size_t(i)].c_str();
        ok = ps->Put(this, nId("SJNT"), i, name);
    }
    return ok && ps->Put(this, nId("EJNT"));
}
