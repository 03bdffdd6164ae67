#include "game/nbwCamera.h"

#include <cmath>
#include <cstring>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "collide/nCollideReportBuffer.h"
#include "collide/nCollideServer2.h"
#include "gfx/nGfxServer.h"
#include "kernel/line3.h"
#include "kernel/nCmdVector.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicPhysik2.h"
#include "logic/nModCollisionState.h"
#include "logic/nModSimpleCollision.h"

static const nCmdDef<nbwCamera> cmds[] = {
    Bind<&nbwCamera::SetTarget>("v_settarget_s", "STRG"),
    Bind<&nbwCamera::GetTarget>("s_gettarget_v", "GTRG"),
    {"v_setoffsetpos_fff", "CSPO", [](nbwCamera* self, nCmd* c) { self->SetOffsetPos(GetVector3(c)); }},
    {"fff_getoffsetpos_v", "CGPO", [](nbwCamera* self, nCmd* c) { PutVector3(c, self->GetOffsetPos()); }},
    {"v_setoffsetquat_ffff", "CSQU",
     [](nbwCamera* self, nCmd* c) {
         vector3 v = GetVector3(c);
         self->SetOffsetQuat(quaternion(v.x, v.y, v.z, c->In()->GetF()));
     }},
    {"ffff_getoffsetquat_v", "CGRO",
     [](nbwCamera* self, nCmd* c) {
         const quaternion& q = self->GetOffsetQuat();
         c->Out()->SetF(q.x);
         c->Out()->SetF(q.y);
         c->Out()->SetF(q.z);
         c->Out()->SetF(q.w);
     }},
    {"v_setelasticity_ff", "SELA",
     [](nbwCamera* self, nCmd* c) {
         float a = c->In()->GetF();
         self->SetElasticity(a, c->In()->GetF());
     }},
    {"ff_getelasticity_v", "GELA",
     [](nbwCamera* self, nCmd* c) {
         c->Out()->SetF(self->GetElasticity(0));
         c->Out()->SetF(self->GetElasticity(1));
     }},
};
const nClassInfo nbwCamera::classInfo = nClassInfo::Make<nbwCamera>("nbwcamera", "nlogiccamera", cmds);

nbwCamera::nbwCamera() {
    target_.SetCwd(this);
}

nbwCamera::~nbwCamera() = default;

void nbwCamera::SetTarget(const char* path) {
    target_.SetPath(path && path[0] && std::strcmp(path, "none") != 0 ? path : nullptr);
    targetLogged_ = false;
}

std::string nbwCamera::GetTarget() {
    nRoot* t = target_.GetPath() ? target_.Resolve() : nullptr;
    return t ? t->GetFullName() : std::string("none");
}

void nbwCamera::SetOffsetPos(const vector3& p) {
    offsetPos_ = p;
    offsetChanged_ = true;
}

void nbwCamera::SetOffsetQuat(const quaternion& q) {
    offsetQuat_ = q;
    offsetChanged_ = true;
}

void nbwCamera::SetElasticity(float a, float b) {
    elasticity_[0] = a;
    elasticity_[1] = b;
}

const matrix44& nbwCamera::OffsetMatrix() {
    if (offsetChanged_) {
        offset_.Ident();
        offset_.SetQuaternion(offsetQuat_);
        offset_.m[3][0] += offsetPos_.x;
        offset_.m[3][1] += offsetPos_.y;
        offset_.m[3][2] += offsetPos_.z;
        offsetChanged_ = false;
    }
    return offset_;
}

void nbwCamera::Place() {
    nRoot* obj = target_.GetPath() ? target_.Resolve() : nullptr;
    if (!obj) return;
    if (!obj->IsA("nlogicvisual2")) {
        if (!targetLogged_) {
            targetLogged_ = true;
            n_error("%s: camera target '%s' is no visual logic node; the camera stays where it is\n",
                    GetFullName().c_str(), obj->GetFullName().c_str());
        }
        return;
    }
    matrix44 t = static_cast<nLogicVisual2*>(obj)->GetMatrix();
    const vector3 at = t.Translation();
    const float now = GetTime();
    const float b = elasticity_[1];
    // Another target, or one put elsewhere (faster than a diver swims): a trail from the old
    // place would run where no diver swam, and the way to the offset from a point on it could
    // start inside a diver's body. The trail starts afresh at the new place, and with a follow
    // delay the camera flies there from where it stood.
    const bool moved = placedTarget_.GetUnsafe() != obj || (at - targetAt_).Len() > JumpDistance;
    if (hasPlace_ && moved) {
        history_.Clear();
        flying_ = b > 0.6f;
        flightStart_ = now;
        flightFrom_ = GetMatrix();
    }
    placedTarget_ = obj;
    targetAt_ = at;
    hasPlace_ = true;
    history_.Put(t, now);
    // A delay past the ring would read a slot already written again. Puts round the time up
    // to a slot and reads round it down, so one step short of the length can still land on
    // the slot just written: two steps short is the furthest safe read.
    const float reach = history_.GetLength() - 2.0f * history_.GetStep();
    const float delay = b < reach ? b : reach;
    if (b > 0.6f) {
        history_.Smooth(delay + 0.1f);
        t = history_.Get(now - delay);
    }
    float x0, x1, y0, y1, z0, z1;
    if (nGfxServer* gfx = gfxRef_.Resolve()) {
        gfx->GetViewVolume(x0, x1, y0, y1, z0, z1);
        nearReach_ = std::sqrt(std::fmax(x0 * x0, x1 * x1) + std::fmax(y0 * y0, y1 * y1) + z0 * z0);
    }
    wanted_ = OffsetMatrix() * t;
    flightShare_ = (now - flightStart_) / delay;
    drawnFrom_ = GetMatrix().Translation();
    Settle(obj);
}

void nbwCamera::Settle(nRoot* target) {
    // The way is looked at from where the target is now, not where the trail has it: the
    // camera stands with nothing between it and the target as drawn.
    matrix44 m = wanted_;
    blind_ = false;
    KeepClear(m, targetAt_, target);
    if (flying_) Fly(m, target, flightShare_);
    SetMatrix(m);
}

bool nbwCamera::Registered(nCollideContext2* ctx, nRoot* target) {
    for (int i = 0, n = ctx->GetNumStatic(); i < n; i++)
        if (ctx->GetStatic(i)->owner == target) return true;
    for (int i = 0, n = ctx->GetNumDynamic(); i < n; i++)
        if (ctx->GetDynamic(i)->owner == target) return true;
    return false;
}

bool nbwCamera::PlaceAfterTraversal() {
    nRoot* target = placedTarget_.GetUnsafe();
    if (!blind_ || !target) return false;
    Settle(target);
    return true;
}

void nbwCamera::Fly(matrix44& m, nRoot* target, float s) {
    // Where a solid lies on the straight way from the flight's start to the new place, or
    // the way comes to a diver, the camera cuts to the new place: both ends stand clear, and
    // so does every point of a way that crosses no surface.
    const vector3 from = flightFrom_.Translation();
    if (!(s >= 0.0f && s < 1.0f) || Blocked(target, from, m.Translation())) {
        flying_ = false;
        return;
    }
    const float e = s * s * (3.0f - 2.0f * s);
    quaternion q;
    q.Slerp(flightFrom_.GetQuaternion(), m.GetQuaternion(), e);
    q.Norm();
    vector3 p = from + (m.Translation() - from) * e;
    // A straight way may pass close over a diver, the one flown to above all: the view
    // would be all helmet and tank. Such a stretch bends out round the diver to where the
    // camera would rest; where that bend meets a solid, or still a body, the camera cuts.
    p = RoundBodies(target, p, from, e);
    // Bent up round a diver just under the surface, it keeps the near plane's reach under it.
    int classIndex = -1;
    if (nCollideContext2* ctx = WayOf(target, classIndex))
        p.y -= nearReach_ - Headroom(ctx, classIndex, target, p);
    if (InBody(target, p) || Blocked(target, drawnFrom_, p)) {
        flying_ = false;
        return;
    }
    m.SetQuaternion(q);
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    m.m[3][2] = p.z;
}

bool nbwCamera::InBody(nRoot* target, const vector3& p) {
    int classIndex = -1;
    nCollideContext2* ctx = WayOf(target, classIndex);
    if (!ctx) return false;
    for (int i = 0, total = ctx->GetNumStatic() + ctx->GetNumDynamic(); i < total; i++) {
        nCollideObject2* obj = Body(ctx, classIndex, i);
        if (!obj) continue;
        const float r = obj->shape->GetRadius() + ClearMargin;
        const vector3 d = p - obj->curMatrix.Translation();
        if (d % d < r * r) return true;
    }
    return false;
}

vector3 nbwCamera::RoundBodies(nRoot* target, const vector3& p, const vector3& start, float share) {
    int classIndex = -1;
    nCollideContext2* ctx = WayOf(target, classIndex);
    if (!ctx) return p;
    vector3 out = p;
    // Kept off a body's owner's middle: a diver's two shapes push the same way.
    for (int i = 0, total = ctx->GetNumStatic() + ctx->GetNumDynamic(); i < total; i++) {
        nCollideObject2* obj = Body(ctx, classIndex, i);
        if (!obj) continue;
        nRoot* owner = obj->owner;
        const vector3 centre = owner->IsA("nlogicvisual2")
                                   ? static_cast<nLogicVisual2*>(owner)->GetWorldMatrix().Translation()
                                   : obj->curMatrix.Translation();
        // A body nearer the flight's start than that is kept off by a distance that grows
        // from the start's to it, so that the flight leaves its start without a leap.
        const float atStart = (start - centre).Len();
        const float keep = atStart < MinDistance ? atStart + (MinDistance - atStart) * share : MinDistance;
        const vector3 d = out - centre;
        const float len = d.Len();
        if (len >= keep || !(len > 1e-4f)) continue;
        out = centre + d * (keep / len);
    }
    return out;
}

bool nbwCamera::Near(const line3& line, const vector3& centre, float radius) {
    // The segment's point nearest the centre: a way that ends inside a shape's sphere
    // counts as well as one that passes through it.
    const float len2 = line.m % line.m;
    float t = len2 > 0.0f ? ((centre - line.b) % line.m) / len2 : 0.0f;
    t = t < 0.0f ? 0.0f : t > 1.0f ? 1.0f : t;
    const vector3 d = line.ipol(t) - centre;
    return d % d <= radius * radius;
}

namespace {
// `v` turned by `angle` about the unit axis `k`.
vector3 Turned(const vector3& v, const vector3& k, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return v * c + (k * v) * s + k * ((k % v) * (1.0f - c));
}
}  // namespace

bool nbwCamera::NearestHit(nCollideContext2* ctx, int classIndex, nRoot* target, const line3& line, bool fixedOnly,
                           float& nearestDist, vector3& nearestNormal) {
    // Only shapes the target meets exactly can stop it, and only they answer a line: the
    // context's own line check would log the radius-only shapes of other pairs. The
    // objects are those of the last collision pass (the target's own aside). A body the
    // physics moves is no fixed shape and is kept off by its room (BodyWay).
    const vector3& from = line.b;
    const vector3 dir = line.m * (1.0f / line.m.Len());
    nCollideServer2* server = ctx->GetServer();
    nCollideReportBuffer& buffer = ctx->GetCheckBuffer();
    bool found = false;
    const int numStatic = ctx->GetNumStatic();
    const int total = numStatic + (fixedOnly ? 0 : ctx->GetNumDynamic());
    for (int i = 0; i < total; i++) {
        nCollideObject2* obj = i < numStatic ? ctx->GetStatic(i) : ctx->GetDynamic(i - numStatic);
        if (obj->owner == target || server->GetCollType(classIndex, obj->classIndex) != COLLTYPE_EXACT) continue;
        if (obj->owner && obj->owner->HasPhysik()) continue;
        nCollideShape2* shape = obj->shape.GetUnsafe();
        if (!shape || shape->GetType() == nCollideShape2::QUICK) continue;
        if (!Near(line, obj->curMatrix.Translation(), shape->GetRadius())) continue;
        // A mesh answers with the first of its faces the line crosses, which may be the
        // far side of a rock: the way is shortened to each hit until none is nearer.
        line3 way = line;
        for (int tries = 0; tries < MaxNearerHits; tries++) {
            buffer.Begin(COLLTYPE_EXACT);
            const bool hitSome = shape->LineCheck(obj->curMatrix, way, &buffer, obj->motion);
            bool nearer = false;
            for (int h = 0; hitSome && h < buffer.numLineHits; h++) {
                const nCollideLineHit& hit = buffer.lineHits[h];
                const float d = (hit.position - from).Len();
                if (!found || d < nearestDist) {
                    found = nearer = true;
                    nearestDist = d;
                    nearestNormal = hit.normal;
                }
            }
            buffer.busy = false;
            if (!nearer || !(nearestDist > 1e-3f)) break;
            way = line3(from, from + dir * (nearestDist - 1e-3f));
        }
    }
    return found;
}

float nbwCamera::FreeWay(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& from,
                         const vector3& dir, float len) {
    // A surface just behind the camera would cut into the near part of the view as well.
    float nearestDist = 0.0f;
    vector3 nearestNormal;
    const float clear = BodyWay(ctx, classIndex, target, from, dir, len);
    if (!NearestHit(ctx, classIndex, target, line3(from, from + dir * (len + ClearMargin)), false, nearestDist,
                    nearestNormal)) {
        return BelowWhatIsAbove(ctx, classIndex, target, from, dir, clear);
    }
    // Back along the free way far enough to stand the margin off the surface, further the
    // more slanting the face (whichever way it is wound), but never behind the target.
    float facing = nearestNormal % dir;
    facing = facing < 0.0f ? -facing : facing;
    const float back = ClearMargin / (facing > 0.25f ? facing : 0.25f);
    const float along = nearestDist > back ? nearestDist - back : 0.0f;
    return BelowWhatIsAbove(ctx, classIndex, target, from, dir, along < clear ? along : clear);
}

float nbwCamera::Headroom(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& p) {
    float above = 0.0f;
    vector3 normal;
    if (!NearestHit(ctx, classIndex, target, line3(p, p + vector3(0.0f, nearReach_, 0.0f)), false, above, normal))
        return nearReach_;
    return above;
}

float nbwCamera::BelowWhatIsAbove(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& from,
                                  const vector3& dir, float along) {
    // A way slanting up under the water's surface meets it only well beyond its end, so the
    // margin along the way leaves the camera as near under it as it likes; there the top of
    // the near plane reaches through and the picture's top is a flat band. The way is cut
    // back by the height its end lacks; where it does not rise, no place on it has room.
    const float lacks = nearReach_ - Headroom(ctx, classIndex, target, from + dir * along);
    if (!(lacks > 0.0f)) return along;
    if (!(dir.y > 0.0f)) return 0.0f;
    const float back = lacks / dir.y;
    return along > back ? along - back : 0.0f;
}

nCollideObject2* nbwCamera::Body(nCollideContext2* ctx, int classIndex, int i) {
    const int numStatic = ctx->GetNumStatic();
    nCollideObject2* obj = i < numStatic ? ctx->GetStatic(i) : ctx->GetDynamic(i - numStatic);
    if (!obj->owner || !obj->owner->HasPhysik() || !obj->shape.GetUnsafe()) return nullptr;
    return ctx->GetServer()->GetCollType(classIndex, obj->classIndex) == COLLTYPE_EXACT ? obj : nullptr;
}

float nbwCamera::BodyWay(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& from,
                         const vector3& dir, float len) {
    // Where the way enters the room of a body (its shape's sphere grown by the margin). A
    // body the way starts in is not met on it.
    for (int i = 0, total = ctx->GetNumStatic() + ctx->GetNumDynamic(); i < total; i++) {
        nCollideObject2* obj = Body(ctx, classIndex, i);
        if (!obj || obj->owner == target) continue;
        const float r = obj->shape->GetRadius() + ClearMargin;
        const vector3 toStart = from - obj->curMatrix.Translation();
        const float b = toStart % dir;
        const float c = toStart % toStart - r * r;
        const float disc = b * b - c;
        if (c <= 0.0f || b >= 0.0f || disc < 0.0f) continue;
        const float enter = -b - std::sqrt(disc);
        if (enter < len) len = enter > 0.0f ? enter : 0.0f;
    }
    return len;
}

nCollideContext2* nbwCamera::WayOf(nRoot* target, int& classIndex) {
    if (!target->IsA("nlogicphysik2")) return nullptr;
    nModCollisionState* state = static_cast<nLogicPhysik2*>(target)->GetPhysikCollisionState();
    nCollideContext2* ctx = state ? state->GetContext() : nullptr;
    if (!ctx || !state->GetEnabled()) return nullptr;
    // The way is looked at with the target's class: it meets what the target meets.
    classIndex = -1;
    for (int i = 0; i < state->GetNumModules() && classIndex < 0; i++) {
        nModule* module = state->GetModule(i);
        if (module && module->IsA("nmodsimplecollision")) {
            classIndex = static_cast<nModSimpleCollision*>(module)->GetCollObject().classIndex;
        }
    }
    return classIndex < 0 ? nullptr : ctx;
}

bool nbwCamera::Blocked(nRoot* target, const vector3& from, const vector3& to) {
    int classIndex = -1;
    nCollideContext2* ctx = WayOf(target, classIndex);
    if (!ctx || !((to - from).Len() > 1e-4f)) return false;
    float dist = 0.0f;
    vector3 normal;
    return NearestHit(ctx, classIndex, target, line3(from, to), true, dist, normal);
}

float nbwCamera::Swing(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& from,
                       const vector3& dir, const vector3& axis, float toEnd, float len, float enough, float& swing) {
    // By the least swing that stands far enough off, else by the one that stands furthest.
    swing = 0.0f;
    float along = FreeWay(ctx, classIndex, target, from, dir, len);
    if (along >= enough) return along;
    float low = 0.0f;
    for (int step = 1; step <= SwingSteps && along < enough; step++) {
        const float angle = toEnd * float(step) / float(SwingSteps);
        const float a = FreeWay(ctx, classIndex, target, from, Turned(dir, axis, angle), len);
        if (a > along) {
            along = a;
            swing = angle;
        }
        if (a < enough) low = angle;
    }
    if (along < enough) return along;
    // Between the last step too near and the first far enough, the least swing that is;
    // there the camera stands just far enough off, so that it moves on smoothly as what is
    // in the way moves (further along the way would leap as the swing crosses an edge).
    for (int i = 0; i < SwingRefines; i++) {
        const float angle = 0.5f * (low + swing);
        if (FreeWay(ctx, classIndex, target, from, Turned(dir, axis, angle), len) >= enough) swing = angle;
        else low = angle;
    }
    return enough;
}

void nbwCamera::KeepClear(matrix44& m, const vector3& from, nRoot* target) {
    int classIndex = -1;
    nCollideContext2* ctx = WayOf(target, classIndex);
    if (!ctx) return;
    // The context holds the shapes of the last traversal: without the target's own, that
    // traversal came before the target (a level just built or loaded) and knew none of its
    // surroundings either.
    blind_ = !Registered(ctx, target);
    const vector3 want = m.Translation();
    vector3 dir = want - from;
    const float len = dir.Len();
    if (!(len > 1e-4f)) return;
    dir = dir * (1.0f / len);
    float along = FreeWay(ctx, classIndex, target, from, dir, len);
    if (along >= len) return;

    // Closer than a sane distance the view would be filled by the target: the camera swings
    // up over what is in the way, about the target and with its view, so that the target
    // stays where the view had it. Where no swing up stands far enough off (the target
    // under an overhang or in a corner), the same is tried turned about the vertical by
    // each eighth of a turn, the nearest to the wanted side first; where none does (the
    // target just under the water's surface), the camera swings down below it the same
    // way. Where nothing stands far enough off, the camera stands where it is furthest off,
    // on the side tried first unless another is clearly further: otherwise places as far
    // off as each other would take turns from frame to frame and the view would shake.
    const float enough = len < MinDistance ? len : MinDistance;
    const vector3 up(0.0f, 1.0f, 0.0f);
    float yaw = 0.0f, swing = 0.0f;
    vector3 axis;
    if (along < enough) {
        static constexpr float kEighth = 0.785398f;
        static constexpr float kYaws[] = {0.0f, 1.0f, -1.0f, 2.0f, -2.0f, 3.0f, -3.0f, 4.0f};
        static constexpr float kClearlyFurther = 0.05f;
        const vector3 side(m.m[0][0], m.m[0][1], m.m[0][2]);
        float best = -1.0f;
        for (int below = 0; below < 2 && best < enough; below++) {
            const vector3 toward = below ? -up : up;
            for (float turns : kYaws) {
                const float y = turns * kEighth;
                const vector3 d = Turned(dir, up, y);
                vector3 k = d * up;
                if (k.Len() < 1e-3f) k = Turned(side, up, y);
                k = k * (1.0f / k.Len());
                if ((k * d) % toward < 0.0f) k = -k;
                const float cosEnd = d % toward;
                const float toEnd = std::acos(cosEnd < -1.0f ? -1.0f : cosEnd > 1.0f ? 1.0f : cosEnd);
                float s = 0.0f;
                const float a = Swing(ctx, classIndex, target, from, d, k, toEnd, len, enough, s);
                if (a >= enough || a > best + (best < 0.0f ? 0.0f : kClearlyFurther)) {
                    best = a;
                    yaw = y;
                    swing = s;
                    axis = k;
                }
                if (best >= enough) break;
            }
        }
        along = best;
    }
    if (yaw != 0.0f || swing > 0.0f) {
        dir = Turned(Turned(dir, up, yaw), axis, swing);
        for (int row = 0; row < 3; row++) {
            const vector3 r =
                Turned(Turned(vector3(m.m[row][0], m.m[row][1], m.m[row][2]), up, yaw), axis, swing);
            m.m[row][0] = r.x;
            m.m[row][1] = r.y;
            m.m[row][2] = r.z;
        }
    }
    const vector3 p = from + dir * along;
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    m.m[3][2] = p.z;
}

void nbwCamera::PlaceOnce() {
    if (placed_ && placedAt_ == GetTime()) return;
    Place();
    placed_ = true;
    placedAt_ = GetTime();
}

bool nbwCamera::Trigger(nLogicGraph* graph) {
    PlaceOnce();
    return nLogicCamera::Trigger(graph);
}

void nbwCamera::PlaceForView() {
    PlaceOnce();
}

void nbwCamera::Traverse(nLogicGraph* graph, const matrix44& parentMatrix) {
    PlaceOnce();
    placed_ = false;
    nLogicCamera::Traverse(graph, parentMatrix);
}

bool nbwCamera::SaveCmds(nPersistServer* ps) {
    if (!nLogicCamera::SaveCmds(ps)) return false;
    bool ok = true;
    const vector3& p = offsetPos_;
    if (p.x != 0.0f || p.y != 0.0f || p.z != 0.0f) ok = ps->Put(this, nId("CSPO"), p.x, p.y, p.z);
    const quaternion& q = offsetQuat_;
    if (ok && (q.x != 0.0f || q.y != 0.0f || q.z != 0.0f || q.w != 1.0f)) {
        ok = ps->Put(this, nId("CSQU"), q.x, q.y, q.z, q.w);
    }
    if (ok) ok = ps->Put(this, nId("SELA"), elasticity_[0], elasticity_[1]);
    if (ok && target_.GetPath()) {
        if (nRoot* t = target_.Resolve()) ok = ps->Put(this, nId("STRG"), t->GetFullName().c_str());
    }
    return ok;
}
