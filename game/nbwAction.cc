#include "game/nbwAction.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "kernel/nCmdVector.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "logic/nLogicCharacter.h"

static const nCmdDef<nbwAction> cmds[] = {
    {"v_txyz_fff", "ACST", [](nbwAction* self, nCmd* c) {
         const vector3 v = GetVector3(c);
         self->SetOffsetPosition(v.x, v.y, v.z);
     }},
    {"fff_gett_v", "ACGT", [](nbwAction* self, nCmd* c) { PutVector3(c, self->GetOffsetPosition()); }},
    Bind<&nbwAction::SetOffsetRotation>("v_qxyzw_ffff", "ACSQ"),
    {"ffff_getq_v", "ACGQ", [](nbwAction* self, nCmd* c) {
         const quaternion& q = self->GetOffsetRotation();
         c->Out()->SetF(q.x);
         c->Out()->SetF(q.y);
         c->Out()->SetF(q.z);
         c->Out()->SetF(q.w);
     }},
    Bind<&nbwAction::SetDuration>("v_setduration_f", "ACSD"),
    Bind<&nbwAction::GetDuration>("f_getduration_v", "ACGD"),
    Bind<&nbwAction::SetFade>("v_setfade_ff", "ACSF"),
    {"ff_getfade_v", "ACGF", [](nbwAction* self, nCmd* c) {
         c->Out()->SetF(self->GetFadeIn());
         c->Out()->SetF(self->GetFadeOut());
     }},
    Bind<&nbwAction::SetRuntime>("v_setruntime_f", "ACSR"),
    Bind<&nbwAction::GetRuntime>("f_getruntime_v", "ACGR"),
    Bind<&nbwAction::SetAnimation>("v_setanimation_s", "ACSA"),
    Bind<&nbwAction::GetAnimation>("s_getanimation_v", "ACGA"),
    Bind<&nbwAction::SetPlayDir>("v_setplaydir_s", "ACSP"),
    Bind<&nbwAction::GetPlayDirName>("s_getplaydir_v", "ACGP"),
    Bind<&nbwAction::BeginScripts>("f_beginscripts_i", "ACBS"),
    Bind<&nbwAction::SetScript>("v_setscript_ifs", "ACSS"),
    Bind<&nbwAction::EndScripts>("v_endscripts_v", "ACES"),
    Bind<&nbwAction::SetBlocking>("v_setblocking_s", "ACSB"),
    Bind<&nbwAction::GetBlockingName>("s_getblocking_v", "ACGB"),
    Bind<&nbwAction::Abort>("v_abort_fb", "ACAB"),
};
const nClassInfo nbwAction::classInfo = nClassInfo::Make<nbwAction>("nbwaction", "nroot", cmds);

namespace {

bool Finite(float v) {
    return std::isfinite(v);
}

// Rotation, then scale of each axis row, then translation.
matrix44 Compose(const quaternion& rotation, const vector3& scale, const vector3& translation) {
    matrix44 m;
    m.SetQuaternion(rotation);
    const float s[3] = {scale.x, scale.y, scale.z};
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) m.m[i][j] *= s[i];
    }
    m.SetTranslation(translation);
    return m;
}

}  // namespace

// -- settings -------------------------------------------------------------------------

void nbwAction::SetOffsetPosition(float x, float y, float z) {
    if (!Finite(x) || !Finite(y) || !Finite(z)) {
        n_error("%s: v_txyz_fff: offset (%g, %g, %g) is not finite\n", GetFullName().c_str(), x, y, z);
        return;
    }
    offsetPos_ = vector3(x, y, z);
    hasOffset_ = true;
}

void nbwAction::SetOffsetRotation(float x, float y, float z, float w) {
    if (!Finite(x) || !Finite(y) || !Finite(z) || !Finite(w)) {
        n_error("%s: v_qxyzw_ffff: rotation (%g, %g, %g, %g) is not finite\n", GetFullName().c_str(), x, y, z, w);
        return;
    }
    offsetRot_ = quaternion(x, y, z, w);
    hasOffset_ = true;
}

void nbwAction::SetDuration(float seconds) {
    if (!Finite(seconds)) {
        n_error("%s: v_setduration_f: %g is not finite\n", GetFullName().c_str(), seconds);
        return;
    }
    duration_ = seconds;
}

void nbwAction::SetFade(float in, float out) {
    if (!Finite(in) || !Finite(out)) {
        n_error("%s: v_setfade_ff: %g, %g is not finite\n", GetFullName().c_str(), in, out);
        return;
    }
    fadeIn_ = in;
    fadeOut_ = out;
}

void nbwAction::SetRuntime(float seconds) {
    if (!Finite(seconds)) {
        n_error("%s: v_setruntime_f: %g is not finite\n", GetFullName().c_str(), seconds);
        return;
    }
    runtime_ = seconds;
}

void nbwAction::SetAnimation(const char* name) {
    animation_ = name ? name : "";
}

void nbwAction::SetPlayDir(const char* name) {
    if (!name) return;
    if (std::strcmp(name, "forward") == 0) playDir_ = Forward;
    else if (std::strcmp(name, "backward") == 0) playDir_ = Backward;
}

const char* nbwAction::GetPlayDirName() const {
    return playDir_ == Backward ? "backward" : "forward";
}

void nbwAction::SetBlocking(const char* name) {
    if (!name) return;
    if (std::strcmp(name, "none") == 0) blocking_ = BlockNone;
    else if (std::strcmp(name, "movement") == 0) blocking_ = BlockMovement;
}

const char* nbwAction::GetBlockingName() const {
    return blocking_ == BlockNone ? "none" : "movement";
}

// -- timed scripts --------------------------------------------------------------------

float nbwAction::BeginScripts(int n) {
    if (n < 0 || n > MaxScripts) {
        n_error("%s: f_beginscripts_i: %d scripts (0 to %d)\n", GetFullName().c_str(), n, MaxScripts);
        return float(n);
    }
    if (!tableCharge_.Hold(uint64_t(n) * sizeof(TimedScript), this, "f_beginscripts_i")) return float(n);
    scripts_.assign(size_t(n), TimedScript());
    charge_.Drop();
    return float(n);
}

void nbwAction::SetScript(int index, float time, const char* text) {
    if (index < 0 || index >= GetNumScripts()) {
        n_error("%s: v_setscript_ifs: script %d is outside 0 to %d\n", GetFullName().c_str(), index,
                GetNumScripts() - 1);
        return;
    }
    if (!Finite(time)) {
        n_error("%s: v_setscript_ifs: time %g of script %d is not finite\n", GetFullName().c_str(), time, index);
        return;
    }
    if (!text) text = "";
    // The scripts that data set, with this one in place of the one it replaces.
    uint64_t bytes = nScriptServer::DataRunning() ? std::strlen(text) + 32 : 0;
    for (size_t i = 0; i < scripts_.size(); i++) {
        if (i != size_t(index) && scripts_[i].origin == nScriptServer::Origin::Data) bytes += scripts_[i].text.size() + 32;
    }
    if (!charge_.Set(bytes, this, "v_setscript_ifs")) return;
    scripts_[size_t(index)] = {text, time, nScriptServer::CurrentOrigin()};
}

nScriptServer::Origin nbwAction::GetOrigin() const {
    for (const TimedScript& s : scripts_) {
        if (s.origin == nScriptServer::Origin::Data) return s.origin;
    }
    return nScriptServer::Origin::Person;
}

void nbwAction::EndScripts() {
    std::stable_sort(scripts_.begin(), scripts_.end(),
                     [](const TimedScript& a, const TimedScript& b) { return a.time < b.time; });
}

bool nbwAction::RunDueScripts(nLogicCharacter* actor) {
    nScriptServer* script = scriptRef_.Get();
    // A script may delete this action (or the actor with it), change the table or run
    // the actor's step again: each entry is taken before it runs and the table read anew.
    nRef<nbwAction> self(this);
    nKernelServer::ks->PushCwd(actor);
    bool alive = true;
    while (nextScript_ >= 0 && nextScript_ < GetNumScripts() && runtime_ > scripts_[size_t(nextScript_)].time) {
        const int index = nextScript_++;
        const std::string text = scripts_[size_t(index)].text;
        const nScriptServer::Origin origin = scripts_[size_t(index)].origin;
        const char* result = nullptr;
        const bool ok = script->RunStored(text.c_str(), origin, result);
        if (!self.IsValid()) {
            alive = false;
            break;
        }
        if (!ok) n_error("%s: timed script %d failed\n", GetFullName().c_str(), index);
    }
    nKernelServer::ks->PopCwd();
    return alive;
}

// -- the step -------------------------------------------------------------------------

void nbwAction::Abort(float fade, bool clearQueue) {
    if (!Finite(fade)) {
        n_error("%s: v_abort_fb: fade %g is not finite\n", GetFullName().c_str(), fade);
    } else if (runtime_ + fade <= duration_) {
        aborting_ = true;
        abortStart_ = runtime_;
        abortFade_ = fade;
    }
    if (!clearQueue) return;
    // Held by a reference, the next one is still known when releasing one frees others.
    nRef<nRoot> next(GetSucc());
    while (nRoot* waiting = next.GetUnsafe()) {
        next = waiting->GetSucc();
        waiting->Release();
    }
}

void nbwAction::Start(nLogicCharacter* actor) {
    startMatrix_ = actor->GetMatrix();
    endMatrix_ = startMatrix_;
    // The parts the actor's matrix is built from, taken even without an offset: one set
    // later by a script then interpolates between two equal poses, not from a pose never
    // taken.
    startScale_ = actor->GetScale();
    startRot_ = actor->GetQuaternion();
    startRot_.Norm();
    endRot_ = startRot_;
    if (hasOffset_) {
        endRot_ = offsetRot_ * startRot_;
        endRot_.Norm();
        // The actor keeps its scale over the action.
        endMatrix_ = Compose(endRot_, startScale_, startMatrix_.Translation() + offsetPos_);
    }
    animIndex_ = actor->FindAnim(animation_.c_str());
    if (animIndex_ < 0) {
        n_error("%s: Action abort, animation '%s' not found\n", GetFullName().c_str(), animation_.c_str());
    }
    started_ = true;
    nextScript_ = GetNumScripts() > 0 ? 0 : -1;
}

float nbwAction::Weight() const {
    if (aborting_) return abortFade_ > 0.0f ? 1.0f - (runtime_ - abortStart_) / abortFade_ : 0.0f;
    const float o = duration_ - fadeOut_;
    if (runtime_ > o && fadeOut_ > 0.0f) return 1.0f - (runtime_ - o) / fadeOut_;
    if (runtime_ < fadeIn_ && fadeIn_ > 0.0f) return runtime_ / fadeIn_;
    return 1.0f;
}

float nbwAction::Remaining() const {
    const bool over = aborting_ ? abortFade_ <= 0.0f : duration_ <= 0.0f;
    const float r = aborting_ ? runtime_ - (abortStart_ + abortFade_) : runtime_ - duration_;
    // Without a length the action is over at once, even in a step that takes no time.
    return over ? std::max(r, std::numeric_limits<float>::min()) : r;
}

matrix44 nbwAction::Interpolate(float t) const {
    quaternion q;
    q.Slerp(startRot_, endRot_, t);
    q.Norm();
    const vector3 a = startMatrix_.Translation(), b = endMatrix_.Translation();
    return Compose(q, startScale_, a * (1.0f - t) + b * t);
}

bool nbwAction::Update(matrix44& m, nLogicCharacter* actor, float dt, float& remaining) {
    if (!actor) {
        n_error("%s: update without an actor\n", GetFullName().c_str());
        m = startMatrix_;
        remaining = 1.0f;
        return true;
    }
    if (!started_) Start(actor);
    if (animIndex_ < 0) {
        m = startMatrix_;
        remaining = 1.0f;
        return true;
    }
    runtime_ += dt;
    actor->SetTime(playDir_ == Forward ? runtime_ : std::fabs(duration_ - runtime_));
    actor->DoAnim(animIndex_, Weight());
    if (hasOffset_) {
        // Clamped, so that the last step stands exactly at the end pose and a walk of
        // many actions does not drift; no length means the end pose at once.
        float t = duration_ > 0.0f ? runtime_ / duration_ : 1.0f;
        t = t > 0.0f ? (t < 1.0f ? t : 1.0f) : 0.0f;
        m = t >= 1.0f ? endMatrix_ : Interpolate(t);
    } else {
        m = startMatrix_;
    }
    if (nextScript_ >= 0 && nextScript_ < GetNumScripts() && !RunDueScripts(actor)) {
        remaining = 1.0f;
        return false;
    }
    remaining = Remaining();
    return true;
}

// -- saving ---------------------------------------------------------------------------

bool nbwAction::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    bool ok = true;
    if (hasOffset_) {
        ok = ps->Put(this, nId("ACST"), offsetPos_.x, offsetPos_.y, offsetPos_.z) &&
             ps->Put(this, nId("ACSQ"), offsetRot_.x, offsetRot_.y, offsetRot_.z, offsetRot_.w);
    }
    ok = ok && ps->Put(this, nId("ACSD"), duration_) && ps->Put(this, nId("ACSF"), fadeIn_, fadeOut_) &&
         ps->Put(this, nId("ACSR"), runtime_) && ps->Put(this, nId("ACSA"), animation_.c_str()) &&
         ps->Put(this, nId("ACSP"), GetPlayDirName()) && ps->Put(this, nId("ACSB"), GetBlockingName());
    if (!ok || scripts_.empty()) return ok;
    ok = ps->Put(this, nId("ACBS"), GetNumScripts());
    for (int i = 0; ok && i < GetNumScripts(); i++) {
        nScriptServer::OriginScope origin(scripts_[size_t(i)].origin);
        ok = ps->Put(this, nId("ACSS"), i, scripts_[size_t(i)].time, scripts_[size_t(i)].text.c_str());
    }
    return ok && ps->Put(this, nId("ACES"));
}
