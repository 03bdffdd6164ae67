#include "logic/nLogicCharacter.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"

static const nCmdDef<nLogicCharacter> cmds[] = {
    Bind<&nLogicCharacter::BeginAnims>("v_beginanims_i", "LCBA"),
    Bind<&nLogicCharacter::SetAnimTime>("v_setanimtime_if", "LCST"),
    Bind<&nLogicCharacter::SetAnimChannel>("v_setanimchn_isfb", "LCSC"),
    Bind<&nLogicCharacter::EndAnims>("v_endanims_v", "LCEA"),
    Bind<&nLogicCharacter::DoAnimByName>("v_doanim_sf", "LCDA"),
    Bind<&nLogicCharacter::ChannelDump>("v_channeldump_f", "LCDP"),
};
const nClassInfo nLogicCharacter::classInfo =
    nClassInfo::Make<nLogicCharacter>("nlogiccharacter", "nlogicphysik2", cmds);

// -- records --------------------------------------------------------------------------

bool nLogicCharacter::CheckIndex(int index, const char* command) const {
    if (index >= 0 && index < GetNumAnims()) return true;
    n_error("%s: %s: animation %d is outside 0 to %d\n", GetFullName().c_str(), command, index, GetNumAnims() - 1);
    return false;
}

void nLogicCharacter::BeginAnims(int n) {
    if (n < 0 || n > MaxAnims) {
        n_error("%s: v_beginanims_i: %d animations (0 to %d)\n", GetFullName().c_str(), n, MaxAnims);
        return;
    }
    if (!animsCharge_.Hold(uint64_t(n) * sizeof(AnimRecord), this, "v_beginanims_i")) return;
    anims_.assign(size_t(n), AnimRecord());
}

void nLogicCharacter::SetAnimTime(int index, float time) {
    if (CheckIndex(index, "v_setanimtime_if")) anims_[size_t(index)].time = time;
}

void nLogicCharacter::SetAnimChannel(int index, const char* name, float weight, bool flag) {
    if (!CheckIndex(index, "v_setanimchn_isfb")) return;
    AnimRecord& r = anims_[size_t(index)];
    r.name = name ? name : "";
    r.weight = weight;
    r.flag = flag;
}

void nLogicCharacter::EndAnims() {
    DropVariables();
}

int nLogicCharacter::FindAnim(const char* name) const {
    if (!name) return -1;
    for (size_t i = 0; i < anims_.size(); i++) {
        if (anims_[i].name == name) return int(i);
    }
    return -1;
}

bool nLogicCharacter::DoAnim(int index, float weight) {
    if (index < 0 || index >= GetNumAnims()) return false;
    anims_[size_t(index)].weight = weight;
    currentAnim_ = float(index);
    weightSum_ += weight;
    return true;
}

void nLogicCharacter::DoAnimByName(const char* name, float weight) {
    int index = FindAnim(name);
    if (index < 0) {
        n_error("%s: v_doanim_sf: no animation '%s'\n", GetFullName().c_str(), name ? name : "");
        return;
    }
    DoAnim(index, weight);
}

void nLogicCharacter::ChannelDump(float seconds) {
    dump_ = true;
    dumpTime_ = seconds;
}

// -- render variables -----------------------------------------------------------------

void nLogicCharacter::DeclareAnimVariable(AnimRecord& record) {
    record.handle = AddVariable(nullptr, record.name.c_str(), 0.0f);
}

void nLogicCharacter::UpdateVariables() {
    nLogicPhysik2::UpdateVariables();
    animVar_ = AddVariable(nullptr, "anim", 0.0f);
    for (AnimRecord& r : anims_) DeclareAnimVariable(r);
}

void nLogicCharacter::Dump() {
    std::string line = GetFullName() + ": anim " + std::to_string(int(currentAnim_));
    for (const AnimRecord& r : anims_) line += " " + r.name + " " + std::to_string(r.weight);
    n_printf("%s\n", line.c_str());
}

void nLogicCharacter::SetNodeVariables() {
    nLogicPhysik2::SetNodeVariables();
    // Without records there is no animation 0 to take the rest of the weight.
    if (!anims_.empty()) {
        if (weightSum_ <= 0.0f) {
            for (AnimRecord& r : anims_) r.weight = 0.0f;
            anims_[0].weight = 1.0f;
        } else {
            // Animation 0 fills up what the weights given leave to 1.
            if (weightSum_ < 1.0f) {
                anims_[0].weight = 1.0f - weightSum_;
                weightSum_ = 1.0f;
            }
            for (AnimRecord& r : anims_) r.weight /= weightSum_;
        }
    }
    SetVariable(nullptr, animVar_, currentAnim_);
    for (const AnimRecord& r : anims_) SetVariable(nullptr, r.handle, r.weight);
    if (dumpTime_ <= 0.0f) dump_ = false;
    if (dump_) Dump();
    dumpTime_ -= GetFrameTime();
    // Weights hold one frame: an animation no call names in the next frame shows 0 there.
    ClearWeights();
}

void nLogicCharacter::ClearWeights() {
    currentAnim_ = 0.0f;
    weightSum_ = 0.0f;
    for (AnimRecord& r : anims_) r.weight = 0.0f;
}

// -- saving ---------------------------------------------------------------------------

bool nLogicCharacter::SaveCmds(nPersistServer* ps) {
    if (!nLogicPhysik2::SaveCmds(ps)) return false;
    if (anims_.empty()) return true;
    bool ok = ps->Put(this, nId("LCBA"), GetNumAnims());
    for (int i = 0; ok && i < GetNumAnims(); i++) {
        const AnimRecord& r = anims_[size_t(i)];
        ok = ps->Put(this, nId("LCST"), i, r.time) && ps->Put(this, nId("LCSC"), i, r.name.c_str(), r.weight, r.flag);
    }
    return ok && ps->Put(this, nId("LCEA"));
}
