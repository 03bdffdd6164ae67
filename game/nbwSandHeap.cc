#include "game/nbwSandHeap.h"

#include <algorithm>
#include <cmath>

#include "game/nbwHandlerPersist.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nModAnimatorState.h"
#include "logic/nPersistLogic.h"

static const nCmdDef<nbwSandHeap> cmds[] = {
    Bind<&nbwSandHeap::SetSweepValueCmd>("v_setsweepvalue_f", "SSWV"),
    Bind<&nbwSandHeap::GetSweepValue>("f_getsweepvalue_v", "GSWV"),
};
const nClassInfo nbwSandHeap::classInfo = nClassInfo::Make<nbwSandHeap>("nbwsandheap", "nbwdoor", cmds);

// The seconds a sweep takes to reach its target.
static constexpr float kSweepSeconds = 2.0f;

nbwSandHeap::nbwSandHeap() {
    SetSweepValue(0.0f);
}

nbwSandHeap::~nbwSandHeap() = default;

void nbwSandHeap::SetSweepValue(float value) {
    if (std::isnan(value)) {
        n_error("%s: setsweepvalue: no number: ignored\n", GetFullName().c_str());
        return;
    }
    sweepValue_ = std::clamp(value, 0.0f, 1.0f);
    if (sweepValue_ == 1.0f) Announce(GetOpenHandler());
}

void nbwSandHeap::SetSweepValueCmd(float value) {
    if (std::isnan(value)) {
        n_error("%s: setsweepvalue: no number: ignored\n", GetFullName().c_str());
        return;
    }
    sweepTime_ = 0.0f;
    SetSweepValue(value);
}

void nbwSandHeap::SetFloat(int index, float value) {
    if (index == Hitpoints && value < GetFloat(Hitpoints)) {
        const float maxHp = GetFloat(MaxHitpoints);
        // Without a maximum the share lost is all of it.
        const float target = maxHp > 0.0f ? 1.0f - value / maxHp : 1.0f;
        sweepTime_ = kSweepSeconds;
        sweepRate_ = (sweepValue_ - target) / kSweepSeconds;
        sweepTarget_ = target;
    }
    nbwDoor::SetFloat(index, value);
}

bool nbwSandHeap::Trigger(nLogicGraph* graph) {
    nRef<nRoot> alive(this);
    if (sweepTime_ > 0.0f) {
        // A long frame ends the sweep on its target, as short ones do.
        const float dt = GetFrameTime();
        const bool ends = dt >= sweepTime_;
        const float value = ends ? sweepTarget_ : sweepValue_ - dt * sweepRate_;
        sweepTime_ = ends ? 0.0f : sweepTime_ - dt;
        SetSweepValue(value);
    }
    nModAnimatorState* state = GetOpeningState();
    state->SetEnabled(true);
    state->SetTime(sweepValue_);
    state->Animate();
    if (!alive.IsValid()) return true;
    return nbwItem::Trigger(graph);
}

bool nbwSandHeap::Use(nRoot* user) {
    if (!nbwDoor::Use(user)) return false;
    nbwItem* remover = AsItem(user);
    if (!remover || !remover->IsA("nbwsandremover")) return true;
    TakeDamage(remover);
    SetString(Owner, "none");
    return false;
}

bool nbwSandHeap::SaveCmds(nPersistServer* ps) {
    if (!nbwDoor::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SSWV"), sweepValue_);
}

void nbwSandHeap::StoreToPersist(nPersistLogic* store) {
    nbwDoor::StoreToPersist(store);
    if (!store) return;
    nVariable v;
    v.SetF(sweepValue_);
    nbwPutVar(store, "sweepvalue", v);
}

void nbwSandHeap::RestoreFromPersist(nPersistLogic* store) {
    nbwDoor::RestoreFromPersist(store);
    if (!store) return;
    float value = 0.0f;
    if (nbwGetNumber(store, "sweepvalue", value)) sweepValue_ = value;
    sweepTime_ = 0.0f;
    // A sweep the save caught goes on to the share of hitpoints lost. The store keeps no
    // pace: the rest glides on at the pace of a sweep from untouched, the one sweep a
    // heap that one use clears ever has.
    const float maxHp = GetFloat(MaxHitpoints);
    const float target = maxHp > 0.0f ? std::clamp(1.0f - GetFloat(Hitpoints) / maxHp, 0.0f, 1.0f)
                         : sweepValue_ > 0.0f ? 1.0f : 0.0f;
    if (sweepValue_ >= 0.0f && sweepValue_ < target) {
        sweepRate_ = -target / kSweepSeconds;
        sweepTime_ = (sweepValue_ - target) / sweepRate_;
        sweepTarget_ = target;
    }
}
