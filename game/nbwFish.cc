#include "game/nbwFish.h"

#include <algorithm>
#include <cmath>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "collide/nCollideShape2.h"
#include "game/nbwActor.h"
#include "game/nbwDiver.h"
#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRandom.h"
#include "kernel/nScriptServer.h"
#include "logic/nModCollisionState.h"
#include "logic/nModSimpleCollision.h"

static const nCmdDef<nbwFish> cmds[] = {
    Bind<&nbwFish::SetBox>("v_setaabb_fff", "LFSB"),
    Bind<&nbwFish::SetDebugMode>("v_setdbgmode_b", "LFSS"),
};
const nClassInfo nbwFish::classInfo = nClassInfo::Make<nbwFish>("nbwfish", "nlogiccollision2", cmds);

namespace {

constexpr float kPi = 3.1415927f;
// A turn made by the attack, and the one that brings the fish back from the box edge.
constexpr float kAttackTurn = 0.5f;
constexpr float kEdgeTurn = 1.5f;
// Beyond this share of a half-extent the fish turns back (horizontally) or is pushed
// back (vertically).
constexpr float kEdge = 0.75f;
constexpr float kDepthBand = 0.7f;
constexpr float kStepsPerSecond = 60.0f;

nLogicNode* OwnerOf(const nCollideObject2* obj) {
    return obj && obj->state ? obj->state->GetOwner() : nullptr;
}

// x and z scaled to a horizontal length of 1, y kept; nothing for a vector standing
// (almost) upright.
void NormaliseFlat(vector3& v) {
    const float l = std::sqrt(v.x * v.x + v.z * v.z);
    if (l > 1e-7f) {
        v.x /= l;
        v.z /= l;
    }
}

// `v` scaled back to `length` when it still has a direction.
void KeepLength(vector3& v, float length) {
    const float l = v.Len();
    if (l > 1e-7f) v = v * (length / l);
}

}  // namespace

nbwFish::nbwFish() {
    GetPickingState()->SetContext("physik");
    attackState_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "attack"));
    fleeState_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "flee"));
    cruiseState_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "cruise"));
    attackState_->SetContext("damage");
    fleeState_->SetContext("damage");
    cruiseState_->SetContext("damage");
}

nbwFish::~nbwFish() = default;

void nbwFish::SetBox(float x, float y, float z) {
    if (!(x > 0.0f && y > 0.0f && z > 0.0f)) {
        n_error("%s: v_setaabb_fff: half-extents must be above 0 (got %g %g %g); the box stays\n",
                GetFullName().c_str(), x, y, z);
        return;
    }
    box_ = vector3(x, y, z);
}

vector3 nbwFish::TurnY(const vector3& v, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return vector3(v.x * c + v.z * s, v.y, v.z * c - v.x * s);
}

// -- per frame ------------------------------------------------------------------------

bool nbwFish::Trigger(nLogicGraph* graph) {
    // A script run by the visual node's Trigger may release the fish.
    nRef<nRoot> alive(this);
    const bool on = nLogicCollision2::Trigger(graph);
    if (!alive.IsValid()) return false;
    const float ft = FrameTime();
    fishTime_ += ft;
    SetTime(fishTime_);
    // Its factors and turns act per step, so it steps a 60th of a second at a time whatever
    // the frames (the part of a step a frame leaves over waits for the next one; a hair short
    // of a step counts as one): the fish chases, bites and flees alike at any frame rate. What the
    // frame's collisions told (the aim, a wall's push) holds for all of its steps, and where
    // a step would reach the bite, the end of the flight or the attack's reach, the fish waits
    // there for the frame's collisions, as at 60 frames a second it would meet them there.
    stepsDue_ += std::max(ft, 0.0f) * kStepsPerSecond;
    const int steps = int(stepsDue_ + 0.01f);
    stepsDue_ = std::max(0.0f, stepsDue_ - float(steps));
    const vector3 avoid = avoidance_;
    const float from = (aim_ - GetPosition()).Len();
    const float biteReach = ZoneRadius(fleeState_) + targetRadius_;
    const float fleeReach = ZoneRadius(cruiseState_) + targetRadius_;
    const float attackReach = ZoneRadius(attackState_) + targetRadius_;
    if (state_ != Flee) fleeWaits_ = 0;
    for (int i = 0; i < steps; i++) {
        if (i > 0) {
            avoidance_ = avoid;
            const float to = (aim_ - GetPosition()).Len();
            // The attack aims at the target, and so does the flight while the bite's zone
            // still touches it.
            if (aimed_ && (state_ == Attack || (state_ == Flee && to <= biteReach))) targetDir_ = aim_ - GetPosition();
            if (aimed_ && state_ == Attack && biteReach > 0.0f && from > biteReach && to <= biteReach) break;
            // The frame's collisions see the whole way the fish went: it waits beyond the
            // reach for two frames, the one that leaves it and one that starts out there.
            if (aimed_ && state_ == Flee && fleeReach > 0.0f && to > fleeReach && fleeWaits_ < 2) {
                fleeWaits_++;
                break;
            }
            // Back in reach of a target that stayed where it was met.
            if (aimed_ && state_ == Cruise && attackReach > 0.0f && from > attackReach && to <= attackReach) break;
        }
        Steer(1.0f / kStepsPerSecond);
    }
    return on;
}

void nbwFish::UpdateModules(const matrix44& world) {
    const bool on = HasCollision();
    const float t = GetTime();
    nModCollisionState* const states[] = {GetPickingState(), fleeState_, attackState_, cruiseState_};
    for (nModCollisionState* st : states) {
        st->SetTime(t);
        if (on) st->Collide(world);
    }
}

void nbwFish::Steer(float ft) {
    const vector3 pos = GetPosition();
    NormaliseFlat(targetDir_);
    NormaliseFlat(velocity_);

    vector3 force;
    switch (state_) {
    case Attack: {
        float fx = targetDir_.x, fz = targetDir_.z;
        if (std::fabs(targetDir_.x - velocity_.x) > 0.2f || std::fabs(targetDir_.z - velocity_.z) > 0.2f) {
            const float side = targetDir_.z * velocity_.x - velocity_.z * targetDir_.x;
            float angle;
            if ((side >= 0.0f && turnSide_ != 1) || turnSide_ == -1) {
                angle = -kAttackTurn;
                turnSide_ = -1;
            } else {
                angle = kAttackTurn;
                turnSide_ = 1;
            }
            const vector3 turned = TurnY(velocity_, angle);
            fx = turned.x;
            fz = turned.z;
        } else {
            turnSide_ = 0;
        }
        force = vector3(fx * 4000.0f, targetDir_.y * 4000.0f, fz * 4000.0f);
        velocity_ = velocity_ * 4.0f;
        fishTime_ += 2.0f * ft;
        break;
    }
    case Flee:
        velocity_ = velocity_ * 2.0f;
        fishTime_ += ft;
        force = vector3(-targetDir_.x * 7000.0f, -targetDir_.y * 0.001f * 7000.0f, -targetDir_.z * 7000.0f);
        break;
    default:
        cruiseTimer_ -= ft;
        if (cruiseTimer_ < 0.0f) {
            cruiseTimer_ = 2.5f;
            cruiseAngle_ = 0.5f - float(nRandom::Next() % 1000) / 1000.0f;
        }
        force = TurnY(velocity_, cruiseAngle_);
        force.y *= 0.005f;
        break;
    }
    force += velocity_ * 0.1f;

    // Near the box's side walls the fish turns back along the side it last turned to,
    // or to whichever side brings it further in.
    const float rx = pos.x / box_.x, rz = pos.z / box_.z;
    if (std::fabs(rx) >= kEdge || std::fabs(rz) >= kEdge) {
        bool chosen = true;
        vector3 turn;
        if (turnSide_ == 1) {
            turn = TurnY(velocity_, kEdgeTurn);
        } else if (turnSide_ == -1) {
            turn = TurnY(velocity_, -kEdgeTurn);
        } else if (std::fabs(rx) > kEdge || std::fabs(rz) > kEdge) {
            const bool alongX = std::fabs(rx) > kEdge;
            const float p = alongX ? pos.x : pos.z, h = alongX ? box_.x : box_.z;
            auto along = [alongX](const vector3& v) { return alongX ? v.x : v.z; };
            const float straight = std::fabs((p + along(velocity_)) / h);
            const vector3 left = TurnY(velocity_, kEdgeTurn), right = TurnY(velocity_, -kEdgeTurn);
            if (std::fabs((p + along(left)) / h) <= straight) {
                turn = left;
                turnSide_ = 1;
            } else if (std::fabs((p + along(right)) / h) <= straight) {
                turn = right;
                turnSide_ = -1;
            } else {
                turn = velocity_;
                // Along z the failed second try leaves its side behind.
                turnSide_ = alongX ? 0 : -1;
            }
        } else {
            chosen = false;  // exactly on the band: nothing to turn from
        }
        if (chosen) force = vector3(turn.x * 6000.0f, turn.y * 0.001f * 6000.0f, turn.z * 6000.0f);
    } else {
        turnSide_ = 0;
    }

    const float r = pos.y / box_.y;
    if (r < -kDepthBand || r > kDepthBand) {
        force.y -= ft * r * 180.0f;
    } else if (state_ != Attack) {
        force.y *= 0.9f;
    }

    if (avoidance_.x != 0.0f || avoidance_.y != 0.0f || avoidance_.z != 0.0f) {
        KeepLength(avoidance_, 1.0f);
        force += avoidance_ * 5.0f;
        avoidance_ = vector3();
    }

    steering_ = force;
    if (steering_.Len() > maxForce_) {
        KeepLength(steering_, maxForce_);
        if (state_ != Cruise) steering_ = steering_ * 5.0f;
    }
    velocity_ += steering_ * ft;

    const float speed = velocity_.Len();
    if (speed < minSpeed_) {
        // A fish at a standstill sets off along its own z axis.
        if (speed > 1e-7f) {
            velocity_ = velocity_ * (minSpeed_ / speed);
        } else {
            velocity_ = vector3(0.0f, 0.0f, minSpeed_);
        }
    } else if (speed > maxSpeed_) {
        velocity_ = velocity_ * (maxSpeed_ / speed);
    }
    if (state_ != Cruise) velocity_ = velocity_ * 1.5f;

    // The turn about y alone, as EulerQuaternion(0, heading, 0) gives it.
    const float half = 0.5f * (kPi - std::atan2(velocity_.x, velocity_.z));
    SetQuaternion(quaternion(0.0f, std::sin(half), 0.0f, std::cos(half)));
    vector3 next = pos + velocity_ * ft;
    next.x = std::fmin(std::fmax(next.x, -box_.x), box_.x);
    next.y = std::fmin(std::fmax(next.y, -box_.y), box_.y);
    next.z = std::fmin(std::fmax(next.z, -box_.z), box_.z);
    SetPosition(next);
}

// -- contacts -------------------------------------------------------------------------

int nbwFish::ZoneCollisions(nModCollisionState* st, nCollidePair**& list) const {
    nCollideContext2* ctx = st->GetContext();
    if (!ctx || !st->GetEnabled() || st->GetNumModules() == 0) return 0;
    return ctx->GetCollisions(st, list);
}

bool nbwFish::ChooseTarget(const nCollidePair* pair) {
    if (target_.IsValid()) return true;
    nLogicNode* other = OwnerOf(pair->objB);
    if (other == this) other = OwnerOf(pair->objA);
    if (!other || other == this) {
        if (!noNodeLogged_) {
            noNodeLogged_ = true;
            n_error("%s: a collision without a logic node is skipped (logged once)\n", GetFullName().c_str());
        }
        return false;
    }
    target_ = other;
    return true;
}

void nbwFish::AimAt(const nCollidePair* pair, vector3& fishPos, vector3& targetPos) {
    const bool targetIsB = OwnerOf(pair->objB) == target_.GetUnsafe();
    const nCollideObject2* t = targetIsB ? pair->objB : pair->objA;
    const nCollideObject2* f = targetIsB ? pair->objA : pair->objB;
    targetPos = t ? t->curMatrix.Translation() : vector3();
    fishPos = f ? f->curMatrix.Translation() : vector3();
    targetDir_ = targetPos - fishPos;
    aim_ = targetDir_ + GetPosition();
    aimed_ = true;
    const nCollideShape2* shape = t ? t->shape.GetUnsafe() : nullptr;
    targetRadius_ = shape ? shape->GetRadius() : 0.0f;
}

float nbwFish::ZoneRadius(nModCollisionState* st) {
    float r = 0.0f;
    for (int i = 0; i < st->GetNumModules(); i++) {
        nModule* m = st->GetModule(i);
        if (!m || !m->IsA("nmodsimplecollision")) continue;
        const nCollideShape2* shape = static_cast<nModSimpleCollision*>(m)->GetCollObject().shape.GetUnsafe();
        if (shape) r = std::max(r, shape->GetRadius());
    }
    return r;
}

vector3 nbwFish::BoxCentre() const {
    nRoot* parent = GetParent();
    if (parent && parent->IsA(nLogicVisual2::classInfo.name)) {
        return static_cast<nLogicVisual2*>(parent)->GetWorldMatrix().Translation();
    }
    return vector3();
}

void nbwFish::Bite(nLogicNode* target) {
    // Only an actor has the "human" flag to read, and only a diver the hit reaction.
    if (!target->IsA(nbwActor::classInfo.name) || !static_cast<nbwActor*>(target)->GetFlag(nbwDiver::Human)) return;
    // A diver whose "onfishattack" is bound tells of the bite there, naming itself: the
    // fish's message, which names nobody, would say it a second time.
    if (target->IsA(nbwDiver::classInfo.name) && static_cast<nbwDiver*>(target)->FishAttack()) return;
    nScriptServer* script = scriptServer_.Get();
    const char* result = nullptr;
    if (!script->Run(AttackMessage, result)) {
        n_error("%s: the attack message did not run (%s)\n", GetFullName().c_str(), result ? result : "");
    }
}

void nbwFish::AnalyseCollision() {
    nCollidePair** list = nullptr;
    // Leaving the cruise zone ends an attack or a flight.
    if (cruiseState_->GetEnabled() && ZoneCollisions(cruiseState_, list) == 0) state_ = Cruise;

    const int n = ZoneCollisions(attackState_, list);
    if (state_ != Flee && n > 0) {
        const vector3 centre = BoxCentre();
        const vector3 fishNode = GetWorldMatrix().Translation();
        for (int i = 0; i < n; i++) {
            if (!ChooseTarget(list[i])) continue;
            vector3 fishPos, targetPos;
            AimAt(list[i], fishPos, targetPos);
            const vector3 p = targetPos - (fishPos - fishNode) - centre;
            if (std::fabs(p.x) / box_.x > 1.0f || std::fabs(p.y) / box_.y > 1.0f || std::fabs(p.z) / box_.z > 1.0f) {
                target_ = nullptr;
            }
        }
        if (target_.IsValid()) state_ = Attack;
    }

    if (ZoneCollisions(fleeState_, list) > 0 && ChooseTarget(list[0])) {
        vector3 fishPos, targetPos;
        AimAt(list[0], fishPos, targetPos);
        // The bite may run a script that ends the target.
        if (state_ == Attack) Bite(target_.GetUnsafe());
        target_ = nullptr;
        state_ = Flee;
    }

    nModCollisionState* picking = GetPickingState();
    nCollideContext2* ctx = picking->GetContext();
    nCollideReport** contacts = nullptr;
    if (ctx && picking->GetEnabled() && picking->GetNumModules() > 0 && ctx->GetContacts(picking, contacts) > 0) {
        const nCollideReport* c = contacts[0];
        const bool ownA = c->objA && c->objA->state == picking;
        const nCollideObject2* own = ownA ? c->objA : c->objB;
        if (!own) return;
        avoidance_ += own->curMatrix.Translation() - (ownA ? c->point2 : c->point1);
        // Nothing of the push or the climb may lead into what was touched.
        const float forceLen = steering_.Len();
        if (steering_.x * avoidance_.x < 0.0f) steering_.x = 0.0f;
        if (steering_.y * avoidance_.y < 0.0f) steering_.y = 0.0f;
        if (steering_.z * avoidance_.z < 0.0f) steering_.z = 0.0f;
        KeepLength(steering_, forceLen);
        const float speed = velocity_.Len();
        if (velocity_.y * avoidance_.y < 0.0f) velocity_.y = 0.0f;
        KeepLength(velocity_, speed);
    }
}

// -- drawing --------------------------------------------------------------------------

void nbwFish::Visualize(nSceneGraph2* sceneGraph, const matrix44& world) {
    nLogicCollision2::Visualize(sceneGraph, world);
    if (!debug_) return;
    nGfxServer* gfx = gfxRef_.Get();
    const matrix44& view = gfx->GetMatrix(nGfxServer::INVVIEWER);
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->SetMatrix(nGfxServer::MODELVIEW, view);
    // Attack red, flee yellow, cruise green.
    const float colours[3][3] = {{1.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};
    const float* rgb = colours[state_ >= Attack && state_ <= Cruise ? state_ - 1 : 2];
    const vector3 c = BoxCentre(), b = box_;
    gfx->Begin(3);  // line list
    gfx->Rgba(rgb[0], rgb[1], rgb[2], 1.0f);
    // The box's twelve edges: each corner to its neighbours with a larger coordinate.
    for (int corner = 0; corner < 8; corner++) {
        const float s[3] = {corner & 1 ? 1.0f : -1.0f, corner & 2 ? 1.0f : -1.0f, corner & 4 ? 1.0f : -1.0f};
        for (int axis = 0; axis < 3; axis++) {
            if (s[axis] > 0.0f) continue;
            float e[3] = {s[0], s[1], s[2]};
            e[axis] = 1.0f;
            gfx->Coord(c.x + s[0] * b.x, c.y + s[1] * b.y, c.z + s[2] * b.z);
            gfx->Coord(c.x + e[0] * b.x, c.y + e[1] * b.y, c.z + e[2] * b.z);
        }
    }
    // The motion and this frame's steering from the fish's place.
    const vector3 p = world.Translation();
    gfx->Coord(p.x, p.y, p.z);
    gfx->Coord(p.x + velocity_.x, p.y + velocity_.y, p.z + velocity_.z);
    gfx->Coord(p.x, p.y, p.z);
    gfx->Coord(p.x + steering_.x, p.y + steering_.y, p.z + steering_.z);
    gfx->End();
    gfx->PopMatrix(nGfxServer::MODELVIEW);
}
