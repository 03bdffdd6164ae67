#include "game/nbwDiver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "game/nbwAction.h"
#include "game/nbwDokuTool.h"
#include "game/nbwItem.h"
#include "kernel/nKernelServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nModCollisionState.h"
#include "logic/nModPhysikState.h"
#include "logic/nScriptEvent.h"
#include "physics/nPhysikBody.h"

namespace {

const char* const kStatNames[] = {"lifepoints",   "lifelose",     "energie",       "energielose",   "maxload",
                                  "speed",        "cuttoolskill", "sandremoverskill", "dokutoolskill", "baseskill",
                                  "transparency", "transparency2", "tank",          "fadeincr",      "fadeincr2",
                                  "fadetime",     "zoomstate",    "zoomscale",     "forwardaccel",  "rotationaccel",
                                  "draftaccel",   "bankingaccel", nullptr};
const char* const kFlagNames[] = {"follow",      "human",    "showhand", "singleplayer", "ismoving",
                                  "chemicresist", "lowenergy", "lowlife", "headlight",    "headcamera", nullptr};
const char* const kPathNames[] = {"hand", "inventory", "target", "leader", nullptr};
const char* const kMoveNames[] = {"forward", "backward", "left", "right", "up", "down", "top", "bottom", nullptr};
const char* const kStateNames[] = {"itemzone", "item", "diver", "trigger", "damage"};
// The game's collide contexts the states meet their partners in.
const char* const kStateContexts[] = {"physik", "physik", "physik", "trigger", "damage"};

// Water drag on one velocity over `step` seconds: dv/dt = -k x share x s x v, integrated
// exactly, so that the speed it leaves does not depend on how the time is cut; k is what
// 0.715 x share x s² a frame took at 30 frames a second.
constexpr float kDragRate = 30.0f * 0.715f;
vector3 Dragged(const vector3& v, float massShare, float step) {
    const float s = v.Len();
    if (s <= 0.0f) return v;
    return v * (1.0f / (1.0f + kDragRate * massShare * s * step));
}

}  // namespace

static const nCmdDef<nbwDiver> cmds[] = {
    Bind<&nbwDiver::AddFlock>("v_addflock_s", "DAFL"),
    Bind<&nbwDiver::AddFollower>("v_addfollower_s", "DAFO"),
    Bind<&nbwDiver::ClearFollowers>("v_clearfollowers_v", "DCFL"),
    Bind<&nbwDiver::MoveTo>("v_moveto_fff", "DMOT"),
    Bind<&nbwDiver::FadeTo>("v_fadeto_ff", "DFAT"),
};
const nClassInfo nbwDiver::classInfo = nClassInfo::Make<nbwDiver>("nbwdiver", "nbwactor", cmds);

nbwDiver::nbwDiver() {
    deathEvent_ = DeclareEvent("ondeath", "s");
    lowEnergyEvent_ = DeclareEvent("onlowenergy", "s");
    lowLifeEvent_ = DeclareEvent("onlowlife", "s");
    itemChangedEvent_ = DeclareEvent("onitemchanged", "sss");
    nearestEvent_ = DeclareEvent("onnearestitemchange", "s");
    stopFollowingEvent_ = DeclareEvent("onstopfollowing", "s");
    fishAttackEvent_ = DeclareEvent("onfishattack", "sb");
    for (int i = 0; i < 5; i++) {
        states_[i] = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, kStateNames[i]));
        states_[i]->SetContext(kStateContexts[i]);
    }
    const float stats[NumStats] = {1.0f, 0.0f, 1.0f, 0.001f, 40.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.9f, 1.0f,
                                   1.0f, 0.0f, 0.0f, 0.0f,   0.0f,  1.0f, 1.0f, 60.0f, 32.0f, 22.0f, 0.0f};
    for (int i = 0; i < NumStats; i++) StoreStat(i, stats[i]);
    for (int i = 0; i < NumFlags; i++) StoreFlag(i, i == Human);
    for (int i = 0; i < NumPaths; i++) StorePath(i, "");
}

nbwDiver::~nbwDiver() = default;

// -- names and values -----------------------------------------------------------------

const char* const* nbwDiver::GetMoveNames() const {
    return kMoveNames;
}
const char* const* nbwDiver::GetStatNames() const {
    return kStatNames;
}
const char* const* nbwDiver::GetPathNames() const {
    return kPathNames;
}
const char* const* nbwDiver::GetFlagNames() const {
    return kFlagNames;
}

float nbwDiver::GetStat(int index) {
    return StoredStat(index);
}

bool nbwDiver::GetFlag(int index) {
    return StoredFlag(index);
}

nRoot* nbwDiver::GetPath(int index) {
    return LookupStoredPath(index);
}

nRoot* nbwDiver::GetNearItem() {
    return nearItem_.GetUnsafe();
}

nRoot* nbwDiver::GetFollower(int slot) const {
    return slot >= 0 && slot < MaxFollowers ? followers_[slot].follower.GetUnsafe() : nullptr;
}

void nbwDiver::Raise(nScriptEvent* event) {
    if (event->GetNumFunctions() == 0) return;
    event->GetArg(0).SetS(GetFullName().c_str());
    AddPendingEvent(event);
}

nRoot* nbwDiver::PathAs(int index, const char* className, const char* op) {
    nRoot* obj = GetPath(index);
    if (!obj || obj->IsA(className)) return obj;
    const std::string name = obj->GetFullName();
    if (refused_[index] != name) {
        refused_[index] = name;
        n_error("%s: %s: '%s' (%s) is no %s: skipped\n", GetFullName().c_str(), op, name.c_str(), kPathNames[index],
                className);
    }
    return nullptr;
}

nbwDiver* nbwDiver::DiverAt(const char* path, const char* op) {
    nRoot* obj = nKernelServer::ks->LookupFrom(this, path);
    if (obj && obj->IsA(classInfo.name)) return static_cast<nbwDiver*>(obj);
    n_error("%s: %s: '%s' %s: ignored\n", GetFullName().c_str(), op, path ? path : "",
            obj ? "is no nbwdiver" : "names nothing");
    return nullptr;
}

void nbwDiver::SetStat(int index, float value) {
    // A value that is not finite would send the diver off to infinity and out of any save.
    if (!std::isfinite(value)) {
        n_error("%s: v_setstat: %f is not finite: the value stays\n", GetFullName().c_str(), double(value));
        return;
    }
    StoreStat(index, value);
    if (index == LifePoints) {
        if (value >= DeathLevel && value < LowLifeLevel) {
            if (!GetFlag(LowLife)) {
                Raise(lowLifeEvent_);
                StoreFlag(LowLife, true);
            }
        } else if (value > LowLifeLevel) {
            StoreFlag(LowLife, false);
        } else if (value < DeathLevel) {
            Raise(deathEvent_);
        }
    } else if (index == Energie) {
        if (value >= LowEnergyLevel) {
            StoreFlag(LowEnergy, false);
        } else if (lowEnergyEvent_->GetNumFunctions() > 0 && !GetFlag(LowEnergy)) {
            Raise(lowEnergyEvent_);
            StoreFlag(LowEnergy, true);
        }
    }
}

void nbwDiver::RestoreFromPersist(nPersistLogic* store) {
    // The stats, restored first, raise what they meet; the flags restored after them would
    // otherwise re-arm a warning for the next frame or hold back the one that is due.
    StoreFlag(LowLife, false);
    StoreFlag(LowEnergy, false);
    nRef<nRoot> alive(this);
    nbwActor::RestoreFromPersist(store);
    if (!alive.IsValid()) return;
    const float life = GetStat(LifePoints), air = GetStat(Energie);
    StoreFlag(LowLife, life >= DeathLevel && life < LowLifeLevel);
    StoreFlag(LowEnergy, air < LowEnergyLevel && lowEnergyEvent_->GetNumFunctions() > 0);
}

void nbwDiver::ShowHandObject(nRoot* hand) {
    if (!hand) return;
    bool alwaysVisible = false;
    if (hand->IsA(nbwItem::classInfo.name)) alwaysVisible = static_cast<nbwItem*>(hand)->GetInt(nbwItem::AlwaysVisible) == 1;
    if (!GetFlag(ShowHand) && !alwaysVisible) {
        rightHand_.clear();
        return;
    }
    rightHand_ = hand->GetFullName();
    handRef_ = hand;
}

void nbwDiver::SetFlag(int index, bool on) {
    StoreFlag(index, on);
    if (index == ShowHand) ShowHandObject(PathAs(Hand, nbwItem::classInfo.name, "showhand"));
    else if (index == SinglePlayer) SetStat(ZoomState, on ? 0.0f : 1.0f);
}

void nbwDiver::SetPath(int index, const char* path) {
    nRoot* before = index == Hand || index == Target ? PathAs(index, nbwItem::classInfo.name, kPathNames[index]) : nullptr;
    const std::string beforeName = before ? before->GetFullName() : "none";
    StorePath(index, path);
    if (index == Hand) {
        nRoot* hand = PathAs(Hand, nbwItem::classInfo.name, "hand");
        if (!hand) return;
        if (itemChangedEvent_->GetNumFunctions() > 0) {
            itemChangedEvent_->GetArg(1).SetS(beforeName.c_str());
            itemChangedEvent_->GetArg(2).SetS(hand->GetFullName().c_str());
            Raise(itemChangedEvent_);
        }
        if (GetFlag(ShowHand)) ShowHandObject(hand);
    } else if (index == Target) {
        if (before) static_cast<nbwItem*>(before)->SetString(nbwItem::Owner, "none");
        if (nRoot* target = PathAs(Target, nbwItem::classInfo.name, "target")) {
            static_cast<nbwItem*>(target)->SetString(nbwItem::Owner, GetFullName().c_str());
        }
    }
}

// -- moves ----------------------------------------------------------------------------

void nbwDiver::Push(nPhysikBody* body, const vector3& force, const vector3& at) {
    if (!body) return;
    body->AddRelForceAtRelPos(force, at);
    moveForce_ += force;
    moveTorque_ += at * force;
}

void nbwDiver::PlayMove(int move, const char*, float power) {
    nRoot* actions = GetActions();
    if (actions && actions->GetHead()) return;
    nPhysikBody* body = GetPhysikState()->GetBody();
    auto couple = [this, body](const vector3& f) {
        Push(body, f, vector3(0.0f, 0.0f, 1.0f));
        Push(body, -f, vector3(0.0f, 0.0f, -1.0f));
    };
    auto request = [this](int i, float value) {
        moves_[i].requested = true;
        moves_[i].value = value;
    };
    const float forward = GetStat(ForwardAccel);
    const float turn = 0.5f * GetStat(RotationAccel);
    const float draft = 0.5f * GetStat(DraftAccel);
    // Nose up or down: the y of the z row, which points backwards.
    const float zy = GetMatrix().m[2][1];
    switch (move) {
    case Forward:
        if (moves_[Backward].value != 0.0f) return;
        moves_[Forward].requested = true;
        Push(body, vector3(0.0f, 0.0f, -forward), vector3(0.0f, 0.0f, -1.0f));
        break;
    case Backward:
        if (moves_[Forward].value != 0.0f) return;
        moves_[Backward].requested = true;
        Push(body, vector3(0.0f, 0.0f, forward), vector3(0.0f, 0.0f, 1.0f));
        break;
    case Left:
        request(Left, power);
        couple(vector3(turn, 0.0f, 0.0f));
        break;
    case Right:
        request(Right, power);
        couple(vector3(-turn, 0.0f, 0.0f));
        break;
    case Up:
        if (zy >= PitchLimit) return;
        request(Up, power);
        couple(vector3(0.0f, draft, 0.0f));
        break;
    case Down:
        if (-zy >= PitchLimit) return;
        request(Down, power);
        couple(vector3(0.0f, -draft, 0.0f));
        break;
    default: break;
    }
}

void nbwDiver::MoveTo(float x, float y, float z) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        n_error("%s: v_moveto_fff: (%g, %g, %g) is no point: ignored\n", GetFullName().c_str(), x, y, z);
        return;
    }
    const matrix44& m = GetMatrix();
    const vector3 p = m.Translation();
    const vector3 d = vector3(x, y, z) - p;
    const float dist = d.Len();
    if (!(dist >= 1.0f)) return;
    if (dist > 16.0f) {
        nRoot* leader = PathAs(Leader, classInfo.name, "leader");
        if (leader) {
            auto* l = static_cast<nbwDiver*>(leader);
            for (FollowerSlot& slot : l->followers_) {
                if (slot.follower.GetUnsafe() != this) continue;
                slot.follower.Invalidate();
                Raise(stopFollowingEvent_);
            }
        }
    }
    const vector3 u = d * (-1.0f / dist);
    const vector3 zRow(m.m[2][0], m.m[2][1], m.m[2][2]);
    if (u % zRow > 0.0f) {
        const vector3 e = u - zRow;
        if (e.x > 0.1f) PlayMove(Left, "none", 1.0f);
        else if (e.x < -0.1f) PlayMove(Right, "none", 1.0f);
        if (e.y > 0.1f) PlayMove(Up, "none", 1.0f);
        else if (e.y < -0.1f) PlayMove(Down, "none", 1.0f);
        PlayMove(Forward, "none", 1.0f);
        return;
    }
    const float h = p.y - y;
    if (h > 0.2f) PlayMove(Up, "none", h / 10.0f);
    else if (h < -0.2f) PlayMove(Down, "none", h / -10.0f);
    PlayMove(Left, "none", 1.0f);
}

// -- followers, flocks, fades, attacks ------------------------------------------------

void nbwDiver::AddFlock(const char* path) {
    const std::string p = path ? path : "";
    for (const std::string& f : flocks_) {
        if (f == p) return;
    }
    flocks_.push_back(p);
}

void nbwDiver::AddFollower(const char* path) {
    nbwDiver* follower = DiverAt(path, "v_addfollower_s");
    if (!follower) return;
    if (follower == this) {
        n_error("%s: v_addfollower_s: a diver cannot follow itself: ignored\n", GetFullName().c_str());
        return;
    }
    for (FollowerSlot& slot : followers_) {
        if (slot.follower.IsValid()) continue;
        follower->SetPath(Leader, GetFullName().c_str());
        vector3 offset = follower->GetMatrix().Translation() - GetMatrix().Translation();
        const float len = offset.Len();
        if (len > 1e-7f) offset = offset * (1.0f / len);
        slot.offset = offset * 3.0f;
        slot.follower = follower;
        return;
    }
    n_error("%s: v_addfollower_s: all %d follower slots are taken: '%s' not added\n", GetFullName().c_str(),
            MaxFollowers, path);
}

void nbwDiver::ClearFollowers() {
    for (FollowerSlot& slot : followers_) {
        nRoot* f = slot.follower.GetUnsafe();
        if (!f) continue;
        slot.follower.Invalidate();
        static_cast<nbwDiver*>(f)->SetPath(Leader, "none");
    }
}

void nbwDiver::FadeTo(float target, float time) {
    SetStat(FadeTime, time);
    if (time <= 0.0f) {
        SetStat(FadeTime, 0.0f);
        SetStat(FadeIncr, 0.0f);
        SetStat(FadeIncr2, 0.0f);
        SetStat(Transparency, target);
        SetStat(Transparency2, target);
        return;
    }
    SetStat(FadeIncr, (target - GetStat(Transparency)) / time);
    SetStat(FadeIncr2, (target - GetStat(Transparency2)) / time);
}

bool nbwDiver::FishAttack() {
    bool hit = true;
    if (nRoot* hand = PathAs(Hand, nbwItem::classInfo.name, "fishattack")) {
        auto* item = static_cast<nbwItem*>(hand);
        if (std::strcmp(item->GetString(nbwItem::Type), "schockstab") == 0) {
            defendTimer_ = 0.0f;
            SetFlag(ShowHand, true);
            item->SetFloat(nbwItem::UseTime, 2.5f);
            hit = false;
        }
    }
    if (hit) attackTimer_ = 0.0f;
    if (fishAttackEvent_->GetNumFunctions() == 0) return false;
    fishAttackEvent_->GetArg(1).SetB(hit);
    Raise(fishAttackEvent_);
    return true;
}

// -- the frame ------------------------------------------------------------------------

void nbwDiver::Drag(nPhysikBody* body, float step) {
    const float mass = body->GetMassSum();
    body->SetLinearVel(Dragged(body->GetLinearVel(), mass / 6.0f, step));
    body->SetAngularVel(Dragged(body->GetAngularVel(), mass / 4.0f, step));
}

void nbwDiver::HoldPitch(nPhysikBody* body, const matrix44& m) {
    // Past the pitch at which the pitching moves stop (a contact may push it there) the nose
    // turns no further and back to that pitch: nearer the vertical the banking has no up to
    // hold to and rolls the diver over. A turn about the x row lifts the nose.
    const float zy = m.m[2][1];
    if (std::fabs(zy) <= PitchLimit) return;
    const float excess = std::asin(std::fmin(1.0f, std::fabs(zy))) - std::asin(PitchLimit);
    const float back = (zy > 0.0f ? excess : -excess) / PitchReturnTime;
    const vector3 x(m.m[0][0], m.m[0][1], m.m[0][2]);
    const vector3 w = body->GetAngularVel();
    const float pitch = w % x;
    if (zy > 0.0f ? pitch < back : pitch > back) body->SetAngularVel(w + x * (back - pitch));
}

void nbwDiver::Bank(nPhysikBody* body, const matrix44& m) {
    // World up crossed with the z row: where the x row of an upright body points.
    vector3 n(m.m[2][2], 0.0f, -m.m[2][0]);
    const float len = n.Len();
    if (len > 1e-7f) n = n * (1.0f / len);
    const vector3 e = n - vector3(m.m[0][0], m.m[0][1], m.m[0][2]);
    if (e % e <= 0.0f) return;
    // e is a world direction and pushes as one: taken in the body's own axes, a pitched
    // body's roll would also turn its nose to the side, the more the steeper it points, and
    // steeply pitched the turn fed the roll until the diver swung round.
    const float bank = GetStat(BankingAccel);
    body->AddForceAtRelPos(e * bank, vector3(1.0f, 0.0f, 0.0f));
    body->AddForceAtRelPos(e * -bank, vector3(-1.0f, 0.0f, 0.0f));
}

bool nbwDiver::Trigger(nLogicGraph* graph) {
    // Timed scripts of the action and the followers may delete the diver.
    nRef<nRoot> self(this);
    const float ft = GetFrameTime();
    ClearWeights();
    metFloor_ = false;

    SetStat(LifePoints, GetStat(LifePoints) - ft * GetStat(LifeLose));
    SetStat(Energie, GetStat(Energie) - ft * GetStat(EnergieLose));
    // Moving doubles the energy use.
    if (GetFlag(IsMoving)) SetStat(Energie, GetStat(Energie) - ft * GetStat(EnergieLose));
    StoreFlag(IsMoving, false);

    bool moving = false;
    for (int i = 0; i < NumMoves; i++) {
        MoveRecord& r = moves_[i];
        if (i < 2 && r.value < 1.0f && r.requested) {
            r.value += ft * r.fadeIn;
            if (r.value > 1.0f || r.fadeIn <= 0.0f) r.value = 1.0f;
        } else if (r.value > 0.0f && !r.requested) {
            r.value -= ft * r.fadeOut;
            if (r.value < 0.0f || r.fadeOut <= 0.0f) r.value = 0.0f;
        }
        if (i < 2 && r.value > 0.0f) DoAnim(i + 1, r.value);
        moving = moving || r.requested;
        r.requested = false;
    }
    StoreFlag(IsMoving, moving);

    const vector3 here = GetMatrix().Translation();
    for (FollowerSlot& slot : followers_) {
        nRoot* f = slot.follower.GetUnsafe();
        if (!f) continue;
        const vector3 to = here + slot.offset;
        static_cast<nbwDiver*>(f)->MoveTo(to.x, to.y, to.z);
        if (!self.IsValid()) return false;
    }

    if (GetWeightSum() == 0.0f) {
        if (nRoot* head = GetCurrentAction()) {
            if (head->IsA(nbwAction::classInfo.name)) {
                auto* action = static_cast<nbwAction*>(head);
                matrix44 m = GetMatrix();
                float remaining = 0.0f;
                const bool lives = action->Update(m, this, ft, remaining);
                if (!self.IsValid()) return false;
                SetMatrix(m);
                if (lives && remaining > 0.0f) action->Release();
            }
        }
    }

    if (GetStat(FadeTime) > 0.0f) {
        // The last step covers only the time left, so a long frame ends the fade on its target.
        const float step = std::fmin(ft, GetStat(FadeTime));
        StoreStat(Transparency, GetStat(Transparency) + step * GetStat(FadeIncr));
        StoreStat(Transparency2, GetStat(Transparency2) + step * GetStat(FadeIncr2));
        StoreStat(FadeTime, GetStat(FadeTime) - ft);
    }
    StoreStat(Transparency, std::fmin(1.0f, std::fmax(0.0f, GetStat(Transparency))));
    StoreStat(Transparency2, std::fmin(1.0f, std::fmax(0.0f, GetStat(Transparency2))));

    if (attackTimer_ < TimerLimit) attackTimer_ += ft;
    if (defendTimer_ < TimerLimit) defendTimer_ += ft;

    return nbwActor::Trigger(graph);
}

void nbwDiver::UpdateVariables() {
    nbwActor::UpdateVariables();
    fxTimeVar_ = AddVariable(nullptr, "fxtime", 0.0f);
    rightHandVar_ = AddVariable(nullptr, "right_hand", "none");
    tankVar_ = AddVariable(nullptr, "tank", 0.0f);
    transparencyVar_ = AddVariable(nullptr, "transparency", 0.0f);
    transparency2Var_ = AddVariable(nullptr, "transparency2", 0.0f);
    headlightVar_ = AddVariable(nullptr, "headlight", 0.0f);
    headcameraVar_ = AddVariable(nullptr, "headcamera", 0.0f);
    attackVar_ = AddVariable(nullptr, "attack", -1.0f);
    defendVar_ = AddVariable(nullptr, "defend", -1.0f);
}

void nbwDiver::SetNodeVariables() {
    nbwActor::SetNodeVariables();
    SetVariable(nullptr, tankVar_, GetStat(Tank));
    SetVariable(nullptr, rightHandVar_, rightHand_.empty() ? "none" : rightHand_.c_str());
    nTimeServer* time = timeRef_.Get();
    SetVariable(nullptr, fxTimeVar_, float(time->GetTime()));
    SetVariable(nullptr, transparencyVar_, GetStat(Transparency));
    SetVariable(nullptr, transparency2Var_, GetStat(Transparency2));
    SetVariable(nullptr, headlightVar_, GetFlag(HeadLight) ? 1.0f : 0.0f);
    SetVariable(nullptr, headcameraVar_, GetFlag(HeadCamera) ? 1.0f : 0.0f);
    SetVariable(nullptr, attackVar_, attackTimer_);
    SetVariable(nullptr, defendVar_, defendTimer_);
}

// -- contacts and the body ------------------------------------------------------------

bool nbwDiver::JoinsPartner(const nLogicNode* partner) const {
    // Looked up by name: fish swim through the diver.
    return !partner->IsA("nlogicboid");
}

void nbwDiver::JoinContact(nPhysikServer* server, nPhysikBody* body, nPhysikBody* other, const nCollideReport& r) {
    const float mu = body->GetContactParam(nPhysikBody::MU);
    const float approx = body->GetContactParam(nPhysikBody::APPROX1);
    const bool steep = std::fabs(r.normal2.y) < SteepNormalY;
    metFloor_ = metFloor_ || !steep;
    // The wall's own up: the first friction direction, free for a pitched nose that W swims
    // up or down along it, while the second still holds the body sideways. A nose pitched
    // down at a slope facing up, which W would push up the slope, is held as a level one is.
    vector3 up = vector3(0.0f, 1.0f, 0.0f) - r.normal2 * (r.normal2.y / std::fmax(r.normal2 % r.normal2, 1e-12f));
    const matrix44 m = NormalisedMatrix(body);
    const vector3 nose(-m.m[2][0], -m.m[2][1], -m.m[2][2]);
    const bool slides = steep && slides_ && up.Len() > 1e-3f && (nose % up) * nose.y > 0.0f;
    // A nose pitched down at the top edge of a low side, which W would push up and over the
    // edge, meets it as it meets the side below: how far up the edge a step first finds the
    // body would otherwise decide between riding up and sinking along it.
    const vector3 flat(r.normal2.x, 0.0f, r.normal2.z);
    const bool edge =
        steep && slides_ && keyPitched_ && !slides && nose.y < 0.0f && r.normal2.y > 0.0f && flat.Len() > 1e-3f;
    body->SetContactParam(nPhysikBody::MU, steep ? SteepFriction : std::fmin(mu, FloorFriction));
    body->SetContactParam(nPhysikBody::APPROX1, steep ? 1.0f : approx);
    if (!slides && !edge) {
        nbwActor::JoinContact(server, body, other, r);
    } else {
        // Free up and down along the side, held sideways.
        nCollideReport along = r;
        if (edge) along.normal2 = flat * (1.0f / flat.Len());
        along.frictionDir = edge ? vector3(0.0f, 1.0f, 0.0f) : up * (1.0f / up.Len());
        const float mu2 = body->GetContactParam(nPhysikBody::MU2);
        const float dir = body->GetContactParam(nPhysikBody::CONTACTDIR);
        body->SetContactParam(nPhysikBody::MU, 0.0f);
        body->SetContactParam(nPhysikBody::MU2, SteepFriction);
        body->SetContactParam(nPhysikBody::CONTACTDIR, 1.0f);
        nbwActor::JoinContact(server, body, other, along);
        body->SetContactParam(nPhysikBody::CONTACTDIR, dir);
        body->SetContactParam(nPhysikBody::MU2, mu2);
    }
    body->SetContactParam(nPhysikBody::APPROX1, approx);
    body->SetContactParam(nPhysikBody::MU, mu);
}

nbwDokuTool* nbwDiver::ShownTool() const {
    nRoot* hand = handRef_.GetUnsafe();
    return hand && hand->IsA(nbwDokuTool::classInfo.name) ? static_cast<nbwDokuTool*>(hand) : nullptr;
}

void nbwDiver::UpdateModules(const matrix44& world) {
    nbwActor::UpdateModules(world);
    if (nbwDokuTool* tool = ShownTool()) tool->UpdateCamera(tool->GetMatrix() * world);
}

void nbwDiver::AnalyseCollision() {
    if (nbwDokuTool* tool = ShownTool()) {
        if (tool->HasCollision()) tool->AnalyseCollision();
    }
    nearItem_.Invalidate();
    nModCollisionState* zone = states_[0];
    nCollideContext2* ctx = zone->GetEnabled() && zone->GetNumModules() > 0 ? zone->GetContext() : nullptr;
    if (ctx) {
        float best = 1000000.0f;
        nLogicNode* nearest = nullptr;
        // The nearest is the item whose shape's middle lies nearest the reach's, where both
        // stand this frame: a thing's own place may lie far from what the diver touches (a
        // door's is its hinge, at the leaf's lower corner; its shape stands at the leaf's
        // middle).
        auto consider = [&](const nCollideObject2* a, const nCollideObject2* b) {
            const nCollideObject2* own = a && a->owner == this ? a : b;
            const nCollideObject2* other = own == a ? b : a;
            nLogicNode* partner = other ? other->owner : nullptr;
            if (!own || !partner || partner == this || !partner->IsA(nbwItem::classInfo.name)) return;
            const float dist = (other->curMatrix.Translation() - own->curMatrix.Translation()).Len();
            if (dist < best) {
                best = dist;
                nearest = partner;
            }
        };
        nCollidePair** pairs = nullptr;
        const int numPairs = ctx->GetCollisions(zone, pairs);
        for (int i = 0; i < numPairs; i++) consider(pairs[i]->objA, pairs[i]->objB);
        nCollideReport** reports = nullptr;
        const int numReports = ctx->GetContacts(zone, reports);
        for (int i = 0; i < numReports; i++) consider(reports[i]->objA, reports[i]->objB);
        if (nearest) nearItem_ = nearest;
    }
    if (nearItem_.GetUnsafe() != lastNearItem_.GetUnsafe()) {
        lastNearItem_ = nearItem_.GetUnsafe();
        Raise(nearestEvent_);
    }
    nbwActor::AnalyseCollision();
}

void nbwDiver::SubStep(float step, int index) {
    if (!HasPhysik()) return;
    nPhysikBody* body = GetPhysikState()->GetBody();
    if (!body) return;
    if (index > 0) {
        // The frame's moves push on through each of its steps; the first has them already.
        KeepPitch(body);
        JoinContactsWithinFrame();
        body->AddRelForce(moveForce_);
        body->AddRelTorque(moveTorque_);
    }
    const matrix44 m = NormalisedMatrix(body);
    Drag(body, step);
    Bank(body, m);
    HoldNose(body, m, step, index);
    HoldHeading(body, m, step, index);
    HoldPitch(body, m);
    pitchAxis_ = vector3(m.m[0][0], m.m[0][1], m.m[0][2]);
    pitchNose_ = m.m[2][1];
    pitchBefore_ = body->GetAngularVel() % pitchAxis_;
}

void nbwDiver::KeepPitch(nPhysikBody* body) {
    // What the diver meets does not tip its nose away from level: met head on, a slope
    // would turn it up and over what it swam at. It may level a nose that points down or
    // up (nosed into the seabed, W swims on along it); only the diver's own pitching
    // moves turn it further.
    if (moveTorque_.x != 0.0f) return;
    const vector3 w = body->GetAngularVel();
    const float pitch = w % pitchAxis_;
    float kept = pitchBefore_ >= 0.0f ? std::clamp(pitch, 0.0f, pitchBefore_) : std::clamp(pitch, pitchBefore_, 0.0f);
    // A turn about the x row lifts the nose; the z row's y is above 0 with the nose down.
    // Levelling, it turns no faster than would bring the nose level within PitchReturnTime.
    const float level = std::asin(std::fmin(1.0f, std::fabs(pitchNose_))) / PitchReturnTime;
    if (pitchNose_ > 0.0f) kept = std::max(kept, std::min(pitch, level));
    else if (pitchNose_ < 0.0f) kept = std::min(kept, std::max(pitch, -level));
    if (kept != pitch) body->SetAngularVel(w + pitchAxis_ * (kept - pitch));
}

void nbwDiver::HoldNose(nPhysikBody* body, const matrix44& m, float step, int index) {
    // The turn a key gave goes on after it, and a contact's push turns the nose a little in
    // each step: left alone, the nose would creep on for seconds. A nose set from outside (a
    // script, a load, a revival) is held where it was set. What a level diver swims against
    // may tip it, and what it meets may level it (nosed into the seabed it lies along it); the
    // nose is held where that left it. A turn to the side, which swings a pitched nose about a
    // tilted axis, levels nothing: the nose is brought back to its pitch. Nor does a wall a
    // pitched diver meets: it slides along the wall at the pitch it swam at.
    const float zy = m.m[2][1];
    // Pitched is what a key or a script left, not what a slope a level diver climbs tips.
    const bool pitched = holdingNose_ ? std::fabs(heldNose_) > SlidePitch : keyPitched_ && std::fabs(zy) > SlidePitch;
    const bool wallOnly = HadContacts() && !metFloor_ && pitched;
    slides_ = false;
    firmHold_ = false;
    if (moveTorque_.x != 0.0f || (moveForce_.z != 0.0f && HadContacts() && !wallOnly) || !(step > 0.0f)) {
        keyPitched_ = moveTorque_.x != 0.0f || (keyPitched_ && !(step > 0.0f));
        holdingNose_ = false;
        return;
    }
    if (!holdingNose_ || (index == 0 && std::fabs(zy - steppedNose_) > NoseSetFromOutside)) heldNose_ = zy;
    const vector3 w = body->GetAngularVel();
    // A turn to the side goes on after its key until it slows.
    if (moveTorque_.y != 0.0f) sideTurn_ = true;
    else if (std::fabs(w.y) < SideTurnRate) sideTurn_ = false;
    const bool levels = HadContacts() ? !wallOnly : !sideTurn_;
    if (holdingNose_ && levels && std::fabs(zy) < std::fabs(heldNose_)) heldNose_ = zy * heldNose_ > 0.0f ? zy : 0.0f;
    holdingNose_ = true;
    slides_ = std::fabs(heldNose_) > SlidePitch;
    // A floor or a ceiling may level the nose, never tip it further.
    firmHold_ = slides_ && (!metFloor_ || (zy * heldNose_ > 0.0f && std::fabs(zy) > std::fabs(heldNose_)));
    // A turn about the x row lifts the nose, lowering the z row's y; it turns back within
    // PitchReturnTime, held pitched and not levelled by a floor within the step: a wall's push on
    // the nose, above or below the body's middle, would tip it a little further in every
    // step, and a facet's push on after the step that bounced the body off it. A body
    // already as good as held is left as it is.
    const auto angle = [](float y) { return std::asin(std::clamp(y, -1.0f, 1.0f)); };
    const vector3 x(m.m[0][0], m.m[0][1], m.m[0][2]);
    const float off = angle(zy) - angle(heldNose_), pitch = w % x;
    const float back = firmHold_ ? step : std::fmax(step, PitchReturnTime);
    if (std::fabs(off) > NoseHeldWithin || std::fabs(pitch) > NoseHeldWithin)
        body->SetAngularVel(w + x * (off / back - pitch));
}

void nbwDiver::HoldHeading(nPhysikBody* body, const matrix44& m, float step, int index) {
    // A facet facing a little aside pushes the nose beside the body's middle: a pitched
    // diver sliding up or down along it would swing round in every step, and on after a
    // step that bounced it off. It keeps the heading it swam in at until a turn to the side,
    // turning back as the nose does.
    const float zx = m.m[2][0], zy = m.m[2][1], zz = m.m[2][2];
    if (!slides_ || sideTurn_ || moveTorque_.y != 0.0f || !(step > 0.0f) || zx * zx + zz * zz < 1e-4f) {
        holdingHeading_ = false;
        return;
    }
    const float heading = std::atan2(zx, zz);
    const auto turn = [](float a) { return std::remainder(a, 6.2831853f); };
    if (!holdingHeading_ || (index == 0 && std::fabs(turn(heading - steppedHeading_)) > NoseSetFromOutside))
        heldHeading_ = heading;
    holdingHeading_ = true;
    // The turn about the vertical, apart from the turns about the x row (the pitch) and the
    // z row (the roll), which the nose hold and the banking see to: the z row's y is the
    // vertical's share of it.
    const vector3 up(0.0f, 1.0f, 0.0f), x(m.m[0][0], m.m[0][1], m.m[0][2]), z(zx, zy, zz);
    const vector3 w = body->GetAngularVel();
    const vector3 r = w - x * (w % x);
    const float rate = ((r % up) - zy * (r % z)) / (1.0f - zy * zy);
    const float wanted = -turn(heading - heldHeading_) / (firmHold_ ? step : std::fmax(step, PitchReturnTime));
    if (std::fabs(wanted - rate) > NoseHeldWithin) body->SetAngularVel(w + up * (wanted - rate));
}

bool nbwDiver::StepPhysik(const matrix44& recordWorld) {
    if (HasPhysik()) {
        if (nPhysikBody* body = GetPhysikState()->GetBody()) {
            KeepPitch(body);
            const matrix44 m = NormalisedMatrix(body);
            steppedNose_ = m.m[2][1];
            steppedHeading_ = std::atan2(m.m[2][0], m.m[2][2]);
        }
    }
    moveForce_ = vector3();
    moveTorque_ = vector3();
    nModPhysikState* st = GetPhysikState();
    if (!st->GetEnabled() || st->GetNumModules() == 0) return false;
    FollowBody(recordWorld);
    return true;
}
