#include "game/nbwOpenable.h"

#include <algorithm>
#include <cmath>

#include "game/nbwHandlerPersist.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nModAnimatorState.h"
#include "logic/nPersistLogic.h"

nbwOpenable::nbwOpenable() {
    openHandler_ = AddHandler("door_open");
    closeHandler_ = AddHandler("door_close");
    openingState_ = static_cast<nModAnimatorState*>(CreateModuleState(nModuleState::Animation, "door_open"));
    openingState_->SetEnabled(false);
    closingState_ = static_cast<nModAnimatorState*>(CreateModuleState(nModuleState::Animation, "door_close"));
    closingState_->SetEnabled(false);
}

nbwOpenable::~nbwOpenable() = default;

void nbwOpenable::Announce(nLogicEventHandler* handler) {
    if (handler && handler->IsBound()) handler->Queue();
}

nbwItem* nbwOpenable::AsItem(nRoot* user) {
    return user && user->IsA(nbwItem::classInfo.name) ? static_cast<nbwItem*>(user) : nullptr;
}

void nbwOpenable::OpenDoor() {
    Announce(openHandler_);
    openStatus_ = 0.0f;
    SetFloat(Hitpoints, 0.0f);
    openingState_->SetEnabled(true);
    openingState_->SetTime(0.0f);
    closingState_->SetEnabled(false);
}

void nbwOpenable::CloseDoor() {
    Announce(closeHandler_);
    openStatus_ = 1.0f;
    SetFloat(Hitpoints, GetFloat(MaxHitpoints));
    closingState_->SetEnabled(true);
    closingState_->SetTime(0.0f);
    openingState_->SetEnabled(false);
}

bool nbwOpenable::Advance(nModAnimatorState* state, bool opening) {
    const float t = state->GetTime() + GetFrameTime();
    const float length = state->GetLength();
    // No length: done at once, also in a frame without time (no 0/0).
    const bool done = length <= 0.0f || t >= length;
    const float share = done ? 1.0f : std::clamp(t / length, 0.0f, 1.0f);
    openStatus_ = opening ? share : 1.0f - share;
    state->SetTime(t);
    nRef<nRoot> alive(this);
    state->Animate();
    if (!alive.IsValid()) return false;
    // Unless an animator's script restarted or stopped it meanwhile.
    if (done && state->GetEnabled() && state->GetTime() == t) {
        state->SetEnabled(false);
        openStatus_ = opening ? 1.0f : 0.0f;
    }
    return true;
}

bool nbwOpenable::OpenStep() {
    if (openingState_->GetEnabled()) return Advance(openingState_, true);
    if (closingState_->GetEnabled()) return Advance(closingState_, false);
    return true;
}

bool nbwOpenable::Trigger(nLogicGraph* graph) {
    nRef<nRoot> alive(this);
    const bool result = nbwItem::Trigger(graph);
    if (!alive.IsValid()) return result;
    if (settle_) {
        settle_ = false;
        Settle(openStatus_ > 0.0f ? openingState_ : closingState_);
        if (!alive.IsValid()) return result;
    }
    OpenStep();
    return result;
}

bool nbwOpenable::SaveCmds(nPersistServer* ps) {
    if (!nbwItem::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SDOP"), GetOpen());
}

void nbwOpenable::StoreToPersist(nPersistLogic* store) {
    nbwItem::StoreToPersist(store);
    if (!store) return;
    nVariable v;
    v.SetI(GetOpen() ? 1 : 0);
    nbwPutVar(store, "openstatus", v);
}

void nbwOpenable::RestoreFromPersist(nPersistLogic* store) {
    nbwItem::RestoreFromPersist(store);
    if (!store) return;
    // The item's handler flags may have stored an animation running.
    openingState_->SetEnabled(false);
    closingState_->SetEnabled(false);
    float open = 0.0f;
    if (nbwGetNumber(store, "openstatus", open)) openStatus_ = open > 0.0f ? 1.0f : 0.0f;
    // The leaf stands where its status puts it, whatever turn the store gives: a turned
    // leaf would open a closed door's passage, and a swing that the save stopped would
    // leave an open one half shut. The animators move it in the next step, as they do in
    // play.
    settle_ = true;
}

void nbwOpenable::Settle(nModAnimatorState* state) {
    if (state->GetNumModules() == 0) return;
    // Step by step, as play moves it: a one-shot animation sends nothing past its last key,
    // which may lie before the state's end, and the steps come within a millisecond of it.
    constexpr float step = 1.0f / 1000.0f;
    const float length = state->GetLength();
    const int steps = int(std::ceil(std::clamp(length, 0.0f, 10.0f) / step));
    nRef<nRoot> alive(this);
    state->SetEnabled(true);
    for (int i = 0; i <= steps; i++) {
        state->SetTime(std::min(i * step, length));
        state->Animate();
        if (!alive.IsValid()) return;
    }
    state->SetEnabled(false);
}

void nbwOpenable::UpdateVariables() {
    nbwItem::UpdateVariables();
    statusVar_ = AddVariable(nullptr, "door_open", 0.0f);
}

void nbwOpenable::SetNodeVariables() {
    nbwItem::SetNodeVariables();
    SetVariable(nullptr, statusVar_, openStatus_);
}
