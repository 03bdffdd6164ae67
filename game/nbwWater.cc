#include "game/nbwWater.h"

#include <cmath>

#include "game/nbwHandlerPersist.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nModAnimatorState.h"
#include "logic/nPersistLogic.h"
#include "scene/nVariableServer.h"

static const nCmdDef<nbwWater> cmds[] = {
    Bind<&nbwWater::SetFading>("v_setfading_b", "WSFA"),
    Bind<&nbwWater::GetFading>("b_getfading_v", "WGFA"),
    Bind<&nbwWater::SetWaterstand>("v_setwaterstand_f", "WSST"),
    Bind<&nbwWater::GetWaterstand>("f_getwaterstand_v", "WGST"),
    Bind<&nbwWater::GetFadeEndTime>("f_getfadeendtime_v", "WGET"),
    Bind<&nbwWater::GetFadeEndValue>("f_getfadeendvalue_v", "WGEV"),
    Bind<&nbwWater::FadeTo>("v_fadeto_ff", "WFTO"),
};
const nClassInfo nbwWater::classInfo = nClassInfo::Make<nbwWater>("nbwwater", "nlogicphysik2", cmds);

namespace {

// A stored number of either type; false when the store lacks it or holds another kind.
bool StoredNumber(nPersistLogic* store, const char* name, float& out) {
    const nVariable* v = store->GetVar(name);
    if (!v) return false;
    if (v->GetType() == nVariable::Float) out = v->GetF();
    else if (v->GetType() == nVariable::Int) out = float(v->GetI());
    else {
        n_error("%s: store variable '%s' is no number: skipped\n", store->GetFullName().c_str(), name);
        return false;
    }
    return true;
}

}  // namespace

nbwWater::nbwWater() {
    fadeState_ = static_cast<nModAnimatorState*>(CreateModuleState(nModuleState::Animation, "water"));
    fadeState_->SetEnabled(false);
    finishHandler_ = AddHandler("onfinishedfading");
}

nbwWater::~nbwWater() = default;

void nbwWater::SetFading(bool on) {
    fadeState_->SetEnabled(on);
}

bool nbwWater::GetFading() const {
    return fadeState_->GetEnabled();
}

void nbwWater::SetWaterstand(float level) {
    if (!std::isfinite(level)) {
        n_error("%s: setwaterstand: %g is no level: ignored\n", GetFullName().c_str(), level);
        return;
    }
    level_ = level;
}

void nbwWater::FadeTo(float value, float time) {
    // A level or speed that is no number would reach the animators as their time.
    if (!std::isfinite(value) || !std::isfinite(time)) {
        n_error("%s: fadeto: %g over %g s is no fade: ignored\n", GetFullName().c_str(), value, time);
        return;
    }
    fadeValue_ = value;
    fadeTime_ = time;
    direction_ = value > level_ ? Rising : value < level_ ? Falling : None;
    if (time > 0.0f && direction_ != None) {
        speed_ = (value - level_) / time;
    } else {
        speed_ = 0.0f;
        level_ = value;
    }
}

bool nbwWater::FadeToMovesLevel() const {
    if (fadeTime_ > 0.0f) return false;
    // Bit for bit: -0 saved as 0 would not load back the same.
    return level_ != fadeValue_ || std::signbit(level_) != std::signbit(fadeValue_);
}

bool nbwWater::FadeOver() const {
    switch (direction_) {
    case Rising: return level_ >= fadeValue_;
    // Also at the floor: a target below 0 is never reached, and a fade that never ends
    // would leave the scripts waiting for its event hanging.
    case Falling: return level_ <= fadeValue_ || level_ <= 0.0f;
    default: return true;
    }
}

bool nbwWater::Trigger(nLogicGraph* graph) {
    if (fadeState_->GetEnabled()) {
        level_ += GetFrameTime() * speed_;
        // A long frame ends the fade on its target, as short ones do.
        if (direction_ == Rising && level_ > fadeValue_) level_ = fadeValue_;
        if (direction_ == Falling && level_ < fadeValue_) level_ = fadeValue_;
        if (level_ < 0.0f) level_ = 0.0f;
        fadeState_->SetTime(level_);
        // An animator's script may release this node.
        nRef<nRoot> alive(this);
        fadeState_->Animate();
        if (!alive.IsValid()) return true;
        // ...or switch the fade off itself, which then ends without its event.
        if (fadeState_->GetEnabled() && FadeOver()) {
            fadeState_->SetEnabled(false);
            if (finishHandler_->IsBound()) finishHandler_->Queue();
        }
    }
    return nLogicPhysik2::Trigger(graph);
}

bool nbwWater::SaveCmds(nPersistServer* ps) {
    if (!nLogicPhysik2::SaveCmds(ps)) return false;
    if (!ps->Put(this, nId("WSFA"), GetFading()) || !ps->Put(this, nId("WSST"), level_) ||
        !ps->Put(this, nId("WFTO"), fadeValue_, fadeTime_)) {
        return false;
    }
    // A fade without time puts the level at its end value as the file loads: a level set
    // since (or never faded to) would be lost, so it follows once more.
    return !FadeToMovesLevel() || ps->Put(this, nId("WSST"), level_);
}

void nbwWater::StoreToPersist(nPersistLogic* store) {
    if (!store) {
        n_error("%s: StoreToPersist: no persistent store\n", GetFullName().c_str());
        return;
    }
    nVariable v;
    v.SetF(level_);
    nbwPutVar(store, "waterstand", v);
    v.SetF(fadeTime_);
    nbwPutVar(store, "fadetime", v);
    v.SetF(fadeValue_);
    nbwPutVar(store, "fadevalue", v);
    v.SetI(GetFading() ? 1 : 0);
    nbwPutVar(store, "fadestate", v);
}

void nbwWater::RestoreFromPersist(nPersistLogic* store) {
    if (!store) {
        n_error("%s: RestoreFromPersist: no persistent store\n", GetFullName().c_str());
        return;
    }
    nLogicPhysik2::RestoreFromPersist(store);
    float f = 0.0f;
    if (StoredNumber(store, "waterstand", f)) SetWaterstand(f);
    if (StoredNumber(store, "fadetime", f) && std::isfinite(f)) fadeTime_ = f;
    if (StoredNumber(store, "fadevalue", f) && std::isfinite(f)) fadeValue_ = f;
    if (StoredNumber(store, "fadestate", f)) SetFading(f > 0.0f);
    // As in a loaded file: a fade without time would replace the stored level.
    const bool keepLevel = FadeToMovesLevel();
    const float level = level_;
    FadeTo(fadeValue_, fadeTime_);
    if (keepLevel) level_ = level;
}
