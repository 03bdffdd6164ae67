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
    const float length = state->GetLength();
    float t = state->GetTime() + GetFrameTime();
    // No length: done at once, also in a frame without time (no 0/0).
    const bool done = length <= 0.0f || t >= length;
    // A long frame ends the animation at its length, as short frames do.
    if (done && length > 0.0f) t = length;
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
        if (resume_) Resume(resume_, resume_ == openingState_);
        else Settle(openStatus_ > 0.0f ? openingState_ : closingState_);
        resume_ = nullptr;
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
    const bool opening = openingState_->GetEnabled(), closing = closingState_->GetEnabled();
    openingState_->SetEnabled(false);
    closingState_->SetEnabled(false);
    float open = 0.0f;
    if (nbwGetNumber(store, "openstatus", open)) openStatus_ = open > 0.0f ? 1.0f : 0.0f;
    // A closing door is stored open until it has shut.
    resume_ = opening && openStatus_ > 0.0f ? openingState_ : closing ? closingState_ : nullptr;
    if (resume_ == closingState_) openStatus_ = 1.0f;
    // The leaf stands where its status puts it, whatever turn the store gives: a turned
    // leaf would open a closed door's passage, and a swing that the save stopped would
    // leave an open one half shut. A swing the save caught goes on from the stored turn.
    // The animators move it in the next step, as they do in play.
    settle_ = true;
}

void nbwOpenable::Resume(nModAnimatorState* state, bool opening) {
    const float length = state->GetLength();
    if (state->GetNumModules() == 0 || !(length > 0.0f)) {
        Settle(state);
        openStatus_ = opening ? 1.0f : 0.0f;
        return;
    }
    // The time whose place, turn and size lie nearest to the stored ones; of equals the
    // latest, so an animation that moves none of them ends as a settled one does.
    const vector3 at = GetPosition(), size = GetScale();
    const quaternion turn = GetQuaternion();
    constexpr int steps = 200;
    float best = length, bestOff = 0.0f;
    nRef<nRoot> alive(this);
    state->SetEnabled(true);
    for (int i = 0; i <= steps; i++) {
        const float t = length * float(i) / steps;
        state->SetTime(t);
        state->Animate();
        if (!alive.IsValid()) return;
        const quaternion& q = GetQuaternion();
        const float dot = std::fabs(q.x * turn.x + q.y * turn.y + q.z * turn.z + q.w * turn.w);
        const float off = (GetPosition() - at).Len() + (GetScale() - size).Len() + (1.0f - std::min(dot, 1.0f));
        if (i == 0 || off <= bestOff) {
            best = t;
            bestOff = off;
        }
    }
    if (!PoseAt(state, best)) return;
    openStatus_ = opening ? best / length : 1.0f - best / length;
    if (best >= length) {
        state->SetEnabled(false);
        openStatus_ = opening ? 1.0f : 0.0f;
    }
}

bool nbwOpenable::PoseAt(nModAnimatorState* state, float t) {
    // From the start, then `t`: the start's frame ends whatever ran before, so a frame past
    // a one-shot animation's last key sends that key.
    nRef<nRoot> alive(this);
    for (float at : {0.0f, t}) {
        state->SetTime(at);
        state->Animate();
        if (!alive.IsValid()) return false;
    }
    return true;
}

void nbwOpenable::Settle(nModAnimatorState* state) {
    if (state->GetNumModules() == 0) return;
    state->SetEnabled(true);
    if (PoseAt(state, std::max(state->GetLength(), 0.0f))) state->SetEnabled(false);
}

void nbwOpenable::UpdateVariables() {
    nbwItem::UpdateVariables();
    statusVar_ = AddVariable(nullptr, "door_open", 0.0f);
}

void nbwOpenable::SetNodeVariables() {
    nbwItem::SetNodeVariables();
    SetVariable(nullptr, statusVar_, openStatus_);
}
