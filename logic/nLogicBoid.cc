#include "logic/nLogicBoid.h"

#include <cmath>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "gfx/nGfxServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRandom.h"
#include "kernel/quaternion.h"
#include "logic/nLogicFlock.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModCollisionState.h"

static const nCmdDef<nLogicBoid> cmds[] = {
    {"v_setwgtparams_ffffff", "FBSP",
     [](nLogicBoid* self, nCmd* c) {
         float w[6];
         for (float& v : w) v = c->In()->GetF();
         self->SetWeights(w[0], w[1], w[2], w[3], w[4], w[5]);
     }},
    {"ffffff_getwgtparams_v", "FBGP",
     [](nLogicBoid* self, nCmd* c) {
         for (int i = 0; i < 6; i++) c->Out()->SetF(self->GetWeights()[i]);
     }},
    {"v_setparams_ffff", "FBSM",
     [](nLogicBoid* self, nCmd* c) {
         float p[4];
         for (float& v : p) v = c->In()->GetF();
         self->SetParams(p[0], p[1], p[2], p[3]);
     }},
    {"ffff_getparams_v", "FBGM",
     [](nLogicBoid* self, nCmd* c) {
         for (int i = 0; i < 4; i++) c->Out()->SetF(self->GetParams()[i]);
     }},
    // Accepted for the scripts that set it; the animation runs on the boid's own phase.
    {"v_setanimchn_is", "FBSA",
     [](nLogicBoid*, nCmd* c) {
         c->In()->GetI();
         c->In()->GetS();
     }},
    Bind<&nLogicBoid::SetDebugMode>("v_setdbgmode_b", "FBSD"),
    Bind<&nLogicBoid::GetDebugMode>("b_getdbgmode_v", "FBGD"),
};
const nClassInfo nLogicBoid::classInfo = nClassInfo::Make<nLogicBoid>("nlogicboid", "nlogiccollision2", cmds);

namespace {

// Longer than 1: cut to length 1.
void Limit(vector3& v) {
    if (v.Len() > 1.0f) v.Norm();
}

}  // namespace

nLogicBoid::nLogicBoid() {
    fleeState_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "flee"));
    fleeState_->SetContext("physik");
}

nLogicBoid::~nLogicBoid() {
    if (nLogicFlock* flock = flock_.GetUnsafe()) flock->Leave(this);
}

void nLogicBoid::Initialize() {
    nLogicCollision2::Initialize();
    nRoot* parent = GetParent();
    if (!parent || !parent->IsA(nLogicFlock::classInfo.name)) {
        if (!notFlockLogged_) {
            notFlockLogged_ = true;
            n_error("%s: a boid's parent must be an nlogicflock; it neither joins nor steers\n", GetFullName().c_str());
        }
        return;
    }
    auto* flock = static_cast<nLogicFlock*>(parent);
    flock_ = flock;
    flock->Join(this);
    phase_ = float(nRandom::Next() % 9999) / 100.0f;
    GetAnimatorState()->SetTime(phase_);
}

void nLogicBoid::SetWeights(float w1, float w2, float w3, float w4, float w5, float w6) {
    const float w[6] = {w1, w2, w3, w4, w5, w6};
    for (int i = 0; i < 6; i++) w_[i] = w[i];
}

void nLogicBoid::SetParams(float p1, float p2, float p3, float p4) {
    const float p[4] = {p1, p2, p3, p4};
    for (int i = 0; i < 4; i++) p_[i] = p[i];
}

bool nLogicBoid::CanSee(const nLogicBoid* other) const {
    if (other == this) return false;
    vector3 d = other->GetPosition() - GetPosition();
    vector3 h = velocity_;
    d.Norm();
    h.Norm();
    return h % d > p_[3];
}

bool nLogicBoid::Trigger(nLogicGraph* graph) {
    // A script run by the visual node's Trigger may release the boid.
    nRef<nRoot> alive(this);
    bool on = nLogicCollision2::Trigger(graph);
    if (on && alive.IsValid() && flock_.IsValid()) Step(GetFrameTime());
    return on;
}

vector3 nLogicBoid::Steer(float dt) {
    nLogicFlock* flock = flock_.GetUnsafe();
    // A clean table numbers every boid of the list; while boids came or went since (a
    // script this frame), the list and the flock's view test are asked instead.
    if (!flock->IsTableDirty() && index_ >= 0 && index_ < flock->GetTableSize()) {
        nLogicBoid* const* members = flock->GetMembers();
        const int* row = flock->GetRow(index_);
        return steer(flock->GetTableSize(), [members](int i) { return members[i]; },
                     [row](int i, const nLogicBoid*) { return row[i] == 1; }, dt);
    }
    nLogicFlock::BoidList& boids = flock->GetBoids();
    return steer(boids.Size(), [&boids](int i) { return boids.At(i); },
                 [this, flock](int, const nLogicBoid* b) { return flock->Sees(this, b); }, dt);
}

template <class Member, class Seen>
vector3 nLogicBoid::steer(int n, Member member, Seen seen, float dt) {
    nLogicFlock* flock = flock_.GetUnsafe();
    const vector3 pos = GetPosition();

    // Separation from the nearest mate within reach; a mate at the same spot gives no
    // direction to part in.
    separation = vector3();
    float best = 999999.0f;
    const nLogicBoid* nearest = nullptr;
    for (int i = 0; i < n; i++) {
        const nLogicBoid* b = member(i);
        if (b == this) continue;
        vector3 d = b->GetPosition() - pos;
        float d2 = d % d;
        if (d2 < best) {
            best = d2;
            nearest = b;
        }
    }
    if (nearest) {
        vector3 d = nearest->GetPosition() - pos;
        const float dist = d.Len();
        const float k = p_[2];
        if (dist > 0.0f) {
            vector3 v;
            if (dist >= k) {
                const float f = dist / k;
                v = d * (f * f);
            } else {
                if (d.y / dist > 0.7f) std::swap(d.y, d.z);
                const float f = k / dist;
                v = d * -(f * f);
            }
            Limit(v);
            separation = v * w_[0];
        }
    }

    // Alignment with and cohesion to the mates in view; the boid itself counts once in the
    // cohesion mean.
    vector3 velSum, posSum = pos;
    int count = 0;
    for (int i = 0; i < n; i++) {
        const nLogicBoid* b = member(i);
        if (b == this || !seen(i, b)) continue;
        velSum += b->velocity_ - velocity_;
        posSum += b->GetPosition();
        count++;
    }
    alignment = vector3();
    if (count > 0) {
        vector3 mean = velSum * (1.0f / float(count));
        Limit(mean);
        alignment = mean * w_[3];
    }
    vector3 toCentre = posSum * (1.0f / float(count + 1)) - pos;
    Limit(toCentre);
    cohesion = toCentre * w_[2];

    // The boundary: past 0.95 R^2 turn back (inward already: straight back, else sideways),
    // and keep returning until inside 0.8 R^2.
    const float r = flock->GetRadius();
    const float r2 = r * r;
    const float d2 = pos % pos;
    boundary = vector3();
    if (r2 > 0.0f && d2 > 0.95f * r2) {
        const vector3 q = pos + velocity_ * dt;
        if (q % q <= d2) {
            boundary = pos * -(d2 / r2);
        } else {
            const quaternion turn(0.0f, std::sin(0.75f), 0.0f, std::cos(0.75f));
            vector3 side = turn.Rotate(velocity_);
            side.Norm();
            boundary = side * (d2 / r2);
        }
        returning_ = true;
    } else if (returning_ && d2 > 0.8f * r2) {
        vector3 back = pos;
        back.Norm();
        boundary = back * (-(d2 / r2) * 0.4f);
    } else {
        returning_ = false;
    }
    boundary.y -= pos.y * 0.1f;

    vector3 sum = separation + alignment + cohesion + boundary + push_ * w_[1];
    Limit(sum);
    vector3 acc = sum * (p_[1] * p_[0]) + push_ * 0.35f;
    push_ = vector3();
    return acc;
}

void nLogicBoid::Step(float dt) {
    acceleration_ = Steer(dt);
    velocity_ += acceleration_ * dt;
    velocity_.y *= w_[4];
    const float maxSpeed = p_[0], minSpeed = p_[0] / 3.0f;
    const float speed = velocity_.Len();
    if (speed > maxSpeed) {
        if (speed > 1e-7f) velocity_ = velocity_ * (maxSpeed / speed);
    } else if (speed < minSpeed) {
        // At a standstill the heading gives the direction.
        vector3 dir = speed > 1e-7f ? velocity_ * (1.0f / speed) : vector3(std::sin(yaw_), 0.0f, -std::cos(yaw_));
        velocity_ = dir * minSpeed;
    }
    yaw_ = float(M_PI) - std::atan2(velocity_.x, velocity_.z);
    SetPosition(GetPosition() + velocity_ * dt);
    SetQuaternion(EulerQuaternion(0.0f, yaw_, 0.0f));
    phase_ += dt;
    GetAnimatorState()->SetTime(phase_);
}

void nLogicBoid::AnalyseCollision() {
    nModCollisionState* st = fleeState_;
    if (!st->GetEnabled() || st->GetNumModules() == 0) return;
    nCollideContext2* ctx = st->GetContext();
    if (!ctx) return;
    nCollideReport** list = nullptr;
    if (ctx->GetContacts(st, list) == 0) return;
    const nCollideReport* r = list[0];
    const bool ownA = r->objA && r->objA->state == st;
    const nCollideObject2* own = ownA ? r->objA : r->objB;
    if (!own) return;
    vector3 f = own->curMatrix.Translation() - (ownA ? r->point2 : r->point1);
    if (f.Len() <= 1e-7f) return;
    f.Norm();

    push_ += f;
    push_.Norm();
    // Nothing of the acceleration or the climb may lead into what was touched.
    const float accLen = acceleration_.Len();
    if (acceleration_.x * f.x < 0.0f) acceleration_.x = 0.0f;
    if (acceleration_.y * f.y < 0.0f) acceleration_.y = 0.0f;
    if (acceleration_.z * f.z < 0.0f) acceleration_.z = 0.0f;
    if (acceleration_.Len() > 1e-7f) {
        acceleration_.Norm();
        acceleration_ = acceleration_ * accLen;
    }
    const float speed = velocity_.Len();
    if (velocity_.y * f.y < 0.0f) velocity_.y = 0.0f;
    if (velocity_.Len() > 1e-7f) {
        velocity_.Norm();
        velocity_ = velocity_ * speed;
    }
}

void nLogicBoid::Visualize(nSceneGraph2* sceneGraph, const matrix44& world) {
    nLogicVisual2::Visualize(sceneGraph, world);
    if (!debug_) return;
    // Axes in red, green and blue, the steering terms from the boid's place.
    nGfxServer* gfx = gfxRef_.Get();
    const matrix44& view = gfx->GetMatrix(nGfxServer::INVVIEWER);
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->SetMatrix(nGfxServer::MODELVIEW, world * view);
    gfx->Begin(3);  // line list
    const float axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const auto& a : axes) {
        gfx->Rgba(a[0], a[1], a[2], 1.0f);
        gfx->Coord(0.0f, 0.0f, 0.0f);
        gfx->Coord(a[0], a[1], a[2]);
    }
    gfx->End();
    gfx->SetMatrix(nGfxServer::MODELVIEW, view);
    const vector3 p = world.Translation();
    const vector3 terms[5] = {separation, alignment, cohesion, boundary, acceleration_};
    gfx->Begin(3);
    gfx->Rgba(1.0f, 1.0f, 0.0f, 1.0f);
    for (const vector3& t : terms) {
        gfx->Coord(p.x, p.y, p.z);
        gfx->Coord(p.x + t.x, p.y + t.y, p.z + t.z);
    }
    gfx->End();
    gfx->PopMatrix(nGfxServer::MODELVIEW);
}

bool nLogicBoid::SaveCmds(nPersistServer* ps) {
    return nLogicVisual2::SaveCmds(ps) && ps->Put(this, nId("FBSD"), debug_) &&
           ps->Put(this, nId("FBSP"), w_[0], w_[1], w_[2], w_[3], w_[4], w_[5]) &&
           ps->Put(this, nId("FBSM"), p_[0], p_[1], p_[2], p_[3]);
}
