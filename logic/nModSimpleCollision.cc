#include "logic/nModSimpleCollision.h"

#include <cstdio>

#include "collide/nCollideContext2.h"
#include "collide/nCollideServer2.h"
#include "collide/nCollideShape2.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicNode.h"
#include "logic/nModCollisionState.h"

static const nCmdDef<nModSimpleCollision> cmds[] = {
    {"v_setradius_f", "SCSR", [](nModSimpleCollision* self, nCmd* c) { self->SetRadius(c->In()->GetF()); }},
    Bind<&nModSimpleCollision::GetRadius>("f_getradius_v", "SCGR"),
    {"v_setcollclass_s", "SCSC", [](nModSimpleCollision* self, nCmd* c) { self->SetCollClass(c->In()->GetS()); }},
    Bind<&nModSimpleCollision::GetCollClass>("s_getcollclass_v", "SCGC"),
    Bind<&nModSimpleCollision::SetDynamic>("v_setdynamic_b", "SCSD"),
    Bind<&nModSimpleCollision::GetDynamic>("b_getdynamic_v", "SCGD"),
    Bind<&nModSimpleCollision::SetSizeable>("v_setsizeable_b", "SCSS"),
    Bind<&nModSimpleCollision::GetSizeable>("b_getsizeable_v", "SCGS"),
    {"v_setcolor_ffff", "SCDC",
     [](nModSimpleCollision* self, nCmd* c) {
         float r = c->In()->GetF();
         float g = c->In()->GetF();
         float b = c->In()->GetF();
         self->SetColor(r, g, b, c->In()->GetF());
     }},
    {"v_setdebugmove_fff", "SCDB",
     [](nModSimpleCollision* self, nCmd* c) {
         float x = c->In()->GetF();
         float y = c->In()->GetF();
         self->SetDebugMove(vector3(x, y, c->In()->GetF()));
     }},
};
const nClassInfo nModSimpleCollision::classInfo =
    nClassInfo::Make<nModSimpleCollision>("nmodsimplecollision", "nmodtransformer", cmds);

nModSimpleCollision::nModSimpleCollision() {
    collObject_.debugColor[0] = 0.0f;
    collObject_.debugColor[1] = 0.0f;
    collObject_.debugColor[2] = 1.0f;
    collObject_.debugColor[3] = 1.0f;
}

nModSimpleCollision::~nModSimpleCollision() {
    ReleaseShape();
}

void nModSimpleCollision::SetScale(const vector3& s) {
    if (s.x != 1.0f || s.y != 1.0f || s.z != 1.0f) {
        n_error("%s: a collision module cannot be scaled (%g %g %g)\n", GetFullName().c_str(), s.x, s.y, s.z);
        return;
    }
    nModTransformer::SetScale(s);
}

nCollideServer2* nModSimpleCollision::GetServer() {
    return refCollideServer_.Get();
}

void nModSimpleCollision::ReleaseShape() {
    collObject_.shape = nullptr;
    if (nCollideShape2* s = shape_.GetUnsafe()) {
        shape_ = nullptr;
        s->Release();
    }
}

void nModSimpleCollision::SetRadius(float r) {
    ReleaseShape();
    radius_ = r;
    MarkShapeSet();
}

void nModSimpleCollision::SetCollClass(const char* name) {
    collClass_.Set(name ? name : "");
    collObject_.classIndex = GetServer()->QueryCollClass(collClass_.Get());
}

void nModSimpleCollision::SetColor(float r, float g, float b, float a) {
    float* c = collObject_.debugColor;
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

nCollideShape2* nModSimpleCollision::CreateShape() {
    char name[64];
    std::snprintf(name, sizeof(name), "quick_%g", radius_);
    nCollideShape2* shape = GetServer()->NewShape(nCollideShape2::QUICK, name);
    if (shape && !shape->IsReady()) shape->SetQuickRadius(radius_);
    return shape;
}

void nModSimpleCollision::Collide(nLogicNode* owner, nModCollisionState* state, const matrix44& world, float time) {
    if (!hasShape_ || shapeFailed_) return;
    nCollideObject2& obj = collObject_;
    obj.state = state;
    obj.owner = owner;
    matrix44 w = WorldMatrix(world);
    const double t = time;
    // A dynamic object's motion starts where its last frame ended; otherwise, and in a
    // frame whose time did not advance past the last one, it starts the frame at rest.
    if (curTime_ != 0.0 && t > curTime_ && dynamic_) {
        obj.prevMatrix = obj.curMatrix;
        prevTime_ = curTime_;
    } else {
        obj.prevMatrix = w;
        prevTime_ = t;
    }
    obj.curMatrix = w;
    curTime_ = t;
    obj.ClearCounts();
    const bool handedOver = handedOver_ && dynamic_;
    handedOver_ = false;

    nCollideShape2* shape = RequireShape();
    if (!shape) return;

    if (debugMove_ % debugMove_ > 0.0f) {
        moved_ = true;
        obj.prevMatrix = w;
        obj.curMatrix.SetTranslation(w.Translation() + debugMove_);
        obj.motion = debugMove_;
    } else if (NeedsUpdate() || handedOver) {
        // A body in touch with something was handed its place after the step, so that its
        // motion starts there: at rest in that frame, it still counts as moving, or it
        // would meet nothing resting and sink a whole step into what it touched.
        moved_ = true;
        obj.motion = obj.curMatrix.Translation() - obj.prevMatrix.Translation();
    } else {
        moved_ = false;
        obj.motion = vector3();
        motionRatio_ = 0.0f;
    }
    if (moved_) {
        // A shape without extent has no ratio to give.
        float r = shape->GetInnerRadius();
        motionRatio_ = r > 0.0f ? obj.motion.Len() / r : 0.0f;
    }
    obj.dynamic = moved_;
    if (nCollideContext2* ctx = state ? state->GetContext() : nullptr) ctx->AddObject(&obj);
}

nCollideShape2* nModSimpleCollision::RequireShape() {
    if (!hasShape_ || shapeFailed_) return nullptr;
    if (nCollideShape2* shape = shape_.GetUnsafe()) return shape;
    nCollideShape2* shape = CreateShape();
    if (!shape) {
        shapeFailed_ = true;
        return nullptr;
    }
    shape_ = shape;
    collObject_.shape = shape;
    return shape;
}

void nModSimpleCollision::SetMatrix(const matrix44& world) {
    if (!hasShape_ || !dynamic_) return;
    collObject_.curMatrix = WorldMatrix(world);
    handedOver_ = true;
}

nCollideObject2* nModSimpleCollision::MoveWithinFrame(const matrix44& world) {
    if (!hasShape_ || shapeFailed_ || !collObject_.shape.GetUnsafe()) return nullptr;
    collObject_.prevMatrix = collObject_.curMatrix;
    collObject_.curMatrix = WorldMatrix(world);
    collObject_.motion = collObject_.curMatrix.Translation() - collObject_.prevMatrix.Translation();
    return &collObject_;
}

bool nModSimpleCollision::SaveCmds(nPersistServer* ps) {
    if (!nModTransformer::SaveCmds(ps)) return false;
    bool ok = true;
    if (!collClass_.IsEmpty()) ok = ps->Put(this, nId("SCSC"), collClass_.Get());
    if (ok && hasShape_ && radius_ > 0.0f) ok = ps->Put(this, nId("SCSR"), radius_);
    const float* c = collObject_.debugColor;
    return ok && ps->Put(this, nId("SCSD"), dynamic_) && ps->Put(this, nId("SCSS"), sizeable_) &&
           ps->Put(this, nId("SCDC"), c[0], c[1], c[2], c[3]);
}
