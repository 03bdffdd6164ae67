#include "game/nbwCharacter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "game/nbwAction.h"
#include "game/nbwBoat.h"
#include "game/nbwItem.h"
#include "kernel/nKernelServer.h"
#include "logic/nModCollisionState.h"
#include "logic/nModPhysikState.h"
#include "logic/nScriptEvent.h"
#include "physics/nPhysikBody.h"
#include "physics/nPhysikServer.h"

const nClassInfo nbwCharacter::classInfo = nClassInfo::Make<nbwCharacter>("nbwcharacter", "nbwactor");

namespace {

const char* const kMoves[] = {"forward",   "backward", "left", "right", "look right", "look left",
                              "look up",   "look down", "run", "jump",  nullptr};
// Index 19, the countdown, has no name.
const char* const kStats[] = {"lifepoints",      "lifelose",     "energie",       "energielose", "maxload",
                              "speed",           "cuttoolskill", "sandremoverskill", "dokutoolskill", "baseskill",
                              "transparency",    "tank",         "fadetime",      "fadeincr",    "zoomstate",
                              "zoomscale",       "heading",      "pitch",         "moskitoschutz", nullptr};
const char* const kFlags[] = {"follow",   "human",      "showhand", "singleplayer", "ismoving", "chemicresist",
                              "lowenergy", "lowlife",   "flying",   "headlight",    "freeze",   nullptr};
const char* const kPaths[] = {"hand", "inventory", "target", nullptr};

constexpr float kStatDefaults[nbwCharacter::NumStats] = {1.0f, 0.0f, 1.0f, 0.001f, 40.0f, 1.0f, 0.0f,
                                                         0.0f, 0.0f, 0.9f, 1.0f,   1.0f,  0.0f, 0.0f,
                                                         0.0f, 1.0f, 1.0f, 1.0f,   1.0f,  0.0f};
constexpr bool kFlagDefaults[nbwCharacter::NumFlags] = {false, true,  false, false, false, false,
                                                        false, false, true,  false, false};

// How far the head turns and nods per second.
constexpr float kTurnRate = 1.2f;
constexpr float kNodRate = 0.4f;

}  // namespace

nbwCharacter::nbwCharacter() {
    for (int i = 0; i < NumStats; i++) StoreStat(i, kStatDefaults[i]);
    for (int i = 0; i < NumFlags; i++) StoreFlag(i, kFlagDefaults[i]);
    for (int i = 0; i < NumPaths; i++) StorePath(i, "");
    deathEvent_ = DeclareEvent("ondeath", "s");
    lowEnergyEvent_ = DeclareEvent("onlowenergy", "s");
    lowLifeEvent_ = DeclareEvent("onlowlife", "s");
    nearestEvent_ = DeclareEvent("onnearestitemchange", "s");
    itemChangedEvent_ = DeclareEvent("onitemchanged", "sss");
    itemZone_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "itemzone"));
    item_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "item"));
    trigger_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "trigger"));
    damage_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "damage"));
}

nbwCharacter::~nbwCharacter() = default;

const char* const* nbwCharacter::GetMoveNames() const {
    return kMoves;
}
const char* const* nbwCharacter::GetStatNames() const {
    return kStats;
}
const char* const* nbwCharacter::GetPathNames() const {
    return kPaths;
}
const char* const* nbwCharacter::GetFlagNames() const {
    return kFlags;
}

// -- values ---------------------------------------------------------------------------

bool nbwCharacter::InTable(int index, int n, const char* op) const {
    if (index >= 0 && index < n) return true;
    n_error("%s: %s: index %d outside 0 to %d\n", GetFullName().c_str(), op, index, n - 1);
    return false;
}

void nbwCharacter::SetStat(int index, float value) {
    if (InTable(index, NumStats, "setstat")) StoreStat(index, value);
}

float nbwCharacter::GetStat(int index) {
    return InTable(index, NumStats, "getstat") ? StoredStat(index) : 0.0f;
}

bool nbwCharacter::GetFlag(int index) {
    return InTable(index, NumFlags, "getflag") && StoredFlag(index);
}

nRoot* nbwCharacter::GetPath(int index) {
    return InTable(index, NumPaths, "getpath") ? LookupStoredPath(index) : nullptr;
}

nbwItem* nbwCharacter::ItemAt(int path) {
    nRoot* obj = LookupStoredPath(path);
    if (!obj) return nullptr;
    if (obj->IsA(nbwItem::classInfo.name)) return static_cast<nbwItem*>(obj);
    if (!badPathLogged_) {
        badPathLogged_ = true;
        n_error("%s: path '%s' names '%s', which is no nbwitem: skipped (logged once)\n", GetFullName().c_str(),
                kPaths[path], obj->GetFullName().c_str());
    }
    return nullptr;
}

void nbwCharacter::SetFlag(int index, bool on) {
    if (!InTable(index, NumFlags, "setflag")) return;
    StoreFlag(index, on);
    if (index != ShowHand) return;
    if (on) {
        if (nbwItem* item = ItemAt(Hand)) {
            rightHand_ = item->GetFullName();
            handItem_ = item;
        }
    } else {
        rightHand_.clear();
    }
}

void nbwCharacter::SetPath(int index, const char* path) {
    if (!InTable(index, NumPaths, "setpath")) return;
    if (index == Target) {
        if (nbwItem* old = ItemAt(Target)) old->SetString(nbwItem::Owner, "none");
    }
    nRoot* before = index == Hand ? LookupStoredPath(Hand) : nullptr;
    const std::string oldPath = before ? before->GetFullName() : std::string("none");
    StorePath(index, path ? path : "");
    if (index == Target) {
        if (nbwItem* target = ItemAt(Target)) target->SetString(nbwItem::Owner, GetFullName().c_str());
        return;
    }
    if (index != Hand) return;
    nbwItem* hand = ItemAt(Hand);
    if (!hand) return;
    if (itemChangedEvent_->GetNumFunctions() > 0) {
        itemChangedEvent_->GetArg(0).SetS(GetFullName().c_str());
        itemChangedEvent_->GetArg(1).SetS(oldPath.c_str());
        itemChangedEvent_->GetArg(2).SetS(hand->GetFullName().c_str());
        AddPendingEvent(itemChangedEvent_);
    }
    if (StoredFlag(ShowHand)) {
        rightHand_ = hand->GetFullName();
        handItem_ = hand;
    }
}

nRoot* nbwCharacter::GetNearItem() {
    return nearItem_.GetUnsafe();
}

void nbwCharacter::SetBoat(nbwBoat* boat) {
    boat_ = boat;
}

nbwBoat* nbwCharacter::GetBoat() {
    return boat_.GetUnsafe();
}

// -- moving ---------------------------------------------------------------------------

nPhysikBody* nbwCharacter::Body() {
    nModPhysikState* st = GetPhysikState();
    return st->GetEnabled() && st->GetNumModules() > 0 ? st->GetBody() : nullptr;
}

void nbwCharacter::PlayMove(int move, const char* text, float power) {
    if (!InTable(move, NumMoves, "playmove")) return;
    if (move <= Right) {
        if (nbwBoat* boat = boat_.GetUnsafe()) {
            if (nPhysikBody* hull = boat->MovingBody()) {
                const float s = boat->GetStatAt(nbwBoat::Speed);
                static const vector3 ahead(0.0f, 0.0f, -1.0f);
                const vector3 push[4] = {{0.0f, 0.0f, -s}, {0.0f, 0.0f, s}, {-0.5f * s, 0.0f, 0.0f},
                                         {0.5f * s, 0.0f, 0.0f}};
                hull->AddRelForceAtRelPos(push[move], ahead);
            }
        }
    }
    if (GetCurrentAction()) return;

    const float ft = GetFrameTime();
    const bool flying = StoredFlag(Flying);
    const matrix44& m = GetMatrix();
    const vector3 f(-WalkForce * m.m[2][0], 0.0f, -WalkForce * m.m[2][2]);
    nPhysikBody* body = Body();
    const int anim = FindAnim(text ? text : "");
    auto request = [&](int record) {
        records_[record].requested = true;
        records_[record].anim = anim;
    };
    switch (move) {
    case Forward: {
        if (records_[RecBackward].value >= 1.0f || flying) return;
        request(RecForward);
        MoveRecord& r = records_[RecForward];
        if (body) {
            const float speed = body->GetLinearVel().Len();
            r.value = std::clamp(speed, r.value - 0.1f, r.value + 0.1f);
        }
        const float k = r.value < 0.6f ? (0.6f - r.value) * 8.0f + 1.0f : 1.0f;
        if (body) body->AddForce((walk_ + f) * k);
        SetWake(true);
        break;
    }
    case Backward:
        if (records_[RecRun].value >= 1.0f || records_[RecForward].value >= 1.0f || flying) return;
        request(RecBackward);
        if (body) body->AddForce(-f);
        SetWake(true);
        break;
    case Left:
    case Right: {
        if (flying) return;
        matrix44 turned = m;
        const vector3 t = turned.Translation();
        turned.SetTranslation(vector3());
        turned.RotateY(move == Left ? ft : -ft);
        for (int row = 0; row < 3; row++) {
            const float len =
                std::sqrt(turned.m[row][0] * turned.m[row][0] + turned.m[row][1] * turned.m[row][1] +
                          turned.m[row][2] * turned.m[row][2]);
            if (len > 0.0f) {
                for (int col = 0; col < 3; col++) turned.m[row][col] /= len;
            }
        }
        turned.SetTranslation(t);
        SetMatrix(turned);
        const int record = move == Left ? RecLeft : RecRight;
        request(record);
        records_[record].value = power;
        break;
    }
    case LookRight:
    case LookLeft: {
        const float sign = move == LookRight ? 1.0f : -1.0f;
        const float heading = std::clamp(StoredStat(Heading) + sign * ft * kTurnRate, 0.0f, 2.0f);
        StoreStat(Heading, heading);
        lastLook_ = GetTime();
        // The body follows a head turned far.
        if (move == LookRight && heading > 1.7f) PlayMove(Right, text, (heading - 1.7f) / 0.3f);
        if (move == LookLeft && heading < 0.3f) PlayMove(Left, text, (0.3f - heading) / 0.3f);
        break;
    }
    case LookUp:
    case LookDown: {
        const float sign = move == LookUp ? -1.0f : 1.0f;
        StoreStat(Pitch, std::clamp(StoredStat(Pitch) + sign * ft * kNodRate, 0.0f, 2.0f));
        lastLook_ = GetTime();
        break;
    }
    case Run:
        if (records_[RecBackward].value >= 1.0f || flying) return;
        request(RecRun);
        if (body) body->AddRelForceAtRelPos(vector3(0.0f, 0.0f, -RunForce), vector3(0.0f, 0.8f, 0.0f));
        SetWake(true);
        break;
    case Jump:
        if (flying) return;
        request(RecJump);
        records_[RecJump].value = 1.0f;
        if (body) body->AddForce(vector3(m.m[1][0], m.m[1][1], m.m[1][2]) * JumpForce);
        airTime_ = 0.0f;
        SetWake(true);
        break;
    default: break;
    }
}

bool nbwCharacter::Trigger(nLogicGraph* graph) {
    const float ft = GetFrameTime();
    ClearWeights();
    StoreStat(LifePoints, StoredStat(LifePoints) - ft * StoredStat(LifeLose));
    StoreStat(Energie, StoredStat(Energie) - ft * StoredStat(EnergieLose));
    if (StoredStat(Countdown) > 0.0f) StoreStat(Countdown, StoredStat(Countdown) - ft);
    if (StoredFlag(IsMoving)) StoreStat(Energie, StoredStat(Energie) - ft * StoredStat(EnergieLose));
    StoreFlag(IsMoving, false);

    bool anyRequested = false;
    for (int i = 0; i < NumRecords; i++) {
        MoveRecord& r = records_[i];
        if (r.requested) {
            anyRequested = true;
            r.value = r.fadeIn <= 0.0f ? 1.0f : std::min(1.0f, r.value + ft * r.fadeIn);
            StoreFlag(IsMoving, true);
            if (i == RecJump) {
                if (r.value >= 1.0f) {
                    SetTime(0.0f);
                    StoreFlag(Flying, true);
                }
            } else if (r.value > 0.0f && ((i != RecLeft && i != RecRight) || GetWeightSum() < 1.0f)) {
                DoAnim(r.anim, r.value);
            }
        } else {
            r.value = r.fadeOut <= 0.0f ? 0.0f : std::max(0.0f, r.value - ft * r.fadeOut);
        }
        r.requested = false;
    }

    if (!anyRequested) {
        lastLook_ = 0.0f;
        if (!StoredFlag(Flying)) {
            // Standing: the character stops at once.
            if (nPhysikBody* body = Body()) {
                body->SetLinearVel(vector3());
                body->SetAngularVel(vector3());
            }
        }
    }
    if (StoredFlag(Flying)) {
        ClearWeights();
        DoAnim(FindAnim("jump_start"), 1.0f);
        airTime_ += ft;
    }
    if (GetWeightSum() <= 0.0f) {
        nRoot* head = GetCurrentAction();
        if (head && head->IsA(nbwAction::classInfo.name)) {
            auto* action = static_cast<nbwAction*>(head);
            // A timed script may delete the character with its queue.
            nRef<nRoot> self(this);
            matrix44 m;
            float remaining = 0.0f;
            const bool lives = action->Update(m, this, ft, remaining);
            if (!self.IsValid()) return false;
            SetMatrix(m);
            if (lives && remaining > 0.0f) action->Release();
        }
    }
    if (GetWeightSum() <= 0.0f) DoAnim(0, 1.0f);
    hadContacts_ = false;
    return nbwActor::Trigger(graph);
}

// -- collision and physics ------------------------------------------------------------

float nbwCharacter::ContactFriction(float ny) {
    if (ny > GroundNormalY) return std::numeric_limits<float>::infinity();
    return std::clamp(ny, 0.0f, 1.0f) * WallFriction;
}

void nbwCharacter::AddLanding() {
    nRoot* actions = GetActions();
    if (!actions) return;
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(actions);
    nRoot* obj = ks->New(nbwAction::classInfo.name, "landing");
    ks->PopCwd();
    if (!obj || !obj->IsA(nbwAction::classInfo.name)) {
        n_error("%s: no landing action could be queued\n", GetFullName().c_str());
        return;
    }
    auto* landing = static_cast<nbwAction*>(obj);
    landing->SetAnimation("jump_landing");
    landing->SetDuration(0.32f);
    landing->SetFade(0.5f, 0.3f);
}

void nbwCharacter::CalculateCollision(const nCollideReport& contact) {
    nLogicNode* partner = contact.objB ? contact.objB->owner : nullptr;
    if (partner && partner->IsA(nLogicPhysik2::classInfo.name) &&
        static_cast<nLogicPhysik2*>(partner)->GetPhysikCount() > 0) {
        if (!bodyContactLogged_) {
            bodyContactLogged_ = true;
            n_error("%s: a contact with the body of '%s' is skipped: body against body is not handled here "
                    "(logged once)\n",
                    GetFullName().c_str(), partner->GetFullName().c_str());
        }
        return;
    }
    nPhysikServer* server = physikRef_.Get();
    nPhysikBody* body = GetPhysikState()->GetBody();
    const float ny = contact.normal2.y;
    const float friction = ContactFriction(ny);
    if (ny > GroundNormalY && StoredFlag(Flying) && airTime_ > LandingAirTime) {
        StoreFlag(Flying, false);
        airTime_ = 0.0f;
        AddLanding();
    }
    SetWake(true);
    // The joint takes the body's surface: lend it this contact's friction.
    const float mu = body->GetContactParam(nPhysikBody::MU);
    body->SetContactParam(nPhysikBody::MU, std::isinf(friction) ? -1.0f : friction);
    server->AddCollisionJoint(body, contact);
    body->SetContactParam(nPhysikBody::MU, mu);
}

void nbwCharacter::AnalyseCollision() {
    nModCollisionState* cs = GetPhysikCollisionState();
    nModPhysikState* ps = GetPhysikState();
    if (HasPhysik() && cs->GetEnabled() && cs->GetNumModules() > 0 && ps->GetEnabled() && ps->GetNumModules() > 0) {
        if (nCollideContext2* ctx = cs->GetContext()) {
            nCollideReport** list = nullptr;
            const int n = ctx->GetContacts(cs, list);
            for (int i = 0; i < n; i++) {
                nCollideReport* r = list[i];
                if (!r->objA || r->objA->owner != this) continue;
                nLogicNode* partner = r->objB ? r->objB->owner : nullptr;
                if (partner && partner->IsA(nLogicPhysik2::classInfo.name) &&
                    static_cast<nLogicPhysik2*>(partner)->HasPhysik()) {
                    JoinContacts(&r, 1);
                } else {
                    CalculateCollision(*r);
                }
            }
            hadContacts_ = n > 0;
        }
    }
    FindNearestItem();
}

void nbwCharacter::FindNearestItem() {
    nRoot* previous = nearItem_.GetUnsafe();
    nearItem_ = nullptr;
    if (itemZone_->GetEnabled() && itemZone_->GetNumModules() > 0) {
        if (nCollideContext2* ctx = itemZone_->GetContext()) {
            // Quick hits count: the zone is usually a ghost.
            nCollidePair** list = nullptr;
            const int n = ctx->GetCollisions(itemZone_, list);
            float best = 1000000.0f;
            // As a diver's: the item whose shape's middle lies nearest the zone's this frame.
            for (int i = 0; i < n; i++) {
                const bool ownA = list[i]->objA && list[i]->objA->owner == this;
                nCollideObject2* own = ownA ? list[i]->objA : list[i]->objB;
                nCollideObject2* other = ownA ? list[i]->objB : list[i]->objA;
                nLogicNode* partner = other ? other->owner : nullptr;
                if (!own || !partner || partner == this || !partner->IsA(nbwItem::classInfo.name)) continue;
                const float d = (other->curMatrix.Translation() - own->curMatrix.Translation()).Len();
                if (d < best) {
                    best = d;
                    nearItem_ = partner;
                }
            }
        }
    }
    if (nearItem_.GetUnsafe() != previous && nearestEvent_->GetNumFunctions() > 0) {
        nearestEvent_->GetArg(0).SetS(GetFullName().c_str());
        AddPendingEvent(nearestEvent_);
    }
}

matrix44 nbwCharacter::OwnRotationAt(const vector3& t) {
    quaternion q = GetMatrix().GetQuaternion();
    q.Norm();
    matrix44 m;
    m.SetQuaternion(q);
    m.SetTranslation(t);
    return m;
}

void nbwCharacter::UpdateModules(const matrix44& world) {
    // The states collide in the order they were made: "itemzone", "item", "trigger",
    // "damage".
    nbwActor::UpdateModules(OwnRotationAt(world.Translation()));
}

bool nbwCharacter::StepPhysik(const matrix44& recordWorld) {
    nModPhysikState* ps = GetPhysikState();
    // Without a physics module nothing moves the body: the character stays.
    if (!ps->GetEnabled() || ps->GetNumModules() == 0) return false;
    const matrix44 body = NormalisedMatrix(ps->GetBody());
    if (hadContacts_ && HasCollision()) GetPhysikCollisionState()->SetMatrix(body);
    const matrix44& local = GetMatrix();
    if (recordWorld == local) {
        lastPhysik_ = body;
    } else {
        matrix44 toParent = recordWorld;
        toParent.Invert();
        lastPhysik_ = body * toParent * local;
    }
    SetMatrix(OwnRotationAt(lastPhysik_.Translation()));
    return true;
}

// -- the visual -----------------------------------------------------------------------

void nbwCharacter::UpdateVariables() {
    nbwActor::UpdateVariables();
    headingVar_ = AddVariable(nullptr, "heading", 0.0f);
    pitchVar_ = AddVariable(nullptr, "pitch", 0.0f);
    rightHandVar_ = AddVariable(nullptr, "right_hand", "");
    transparencyVar_ = AddVariable(nullptr, "transparency", 0.0f);
    headlightVar_ = AddVariable(nullptr, "headlight", 0.0f);
}

void nbwCharacter::SetNodeVariables() {
    nbwActor::SetNodeVariables();
    SetVariable(nullptr, rightHandVar_, rightHand_.empty() ? "none" : rightHand_.c_str());
    SetVariable(nullptr, transparencyVar_, StoredStat(Transparency));
    SetVariable(nullptr, headingVar_, StoredStat(Heading));
    SetVariable(nullptr, pitchVar_, StoredStat(Pitch));
    SetVariable(nullptr, headlightVar_, StoredFlag(Headlight) ? 1.0f : 0.0f);
}
