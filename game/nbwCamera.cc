#include "game/nbwCamera.h"

#include <cstring>

#include "kernel/nCmdVector.h"
#include "kernel/nPersistServer.h"

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
    const float now = GetTime();
    history_.Put(t, now);
    const float b = elasticity_[1];
    if (b > 0.6f) {
        // A delay past the ring would read a slot already written again. Puts round the
        // time up to a slot and reads round it down, so one step short of the length can
        // still land on the slot just written: two steps short is the furthest safe read.
        const float reach = history_.GetLength() - 2.0f * history_.GetStep();
        const float delay = b < reach ? b : reach;
        history_.Smooth(delay + 0.1f);
        t = history_.Get(now - delay);
    }
    SetMatrix(OffsetMatrix() * t);
}

void nbwCamera::PlaceForView() {
    Place();
    placed_ = true;
    placedAt_ = GetTime();
}

void nbwCamera::Traverse(nLogicGraph* graph, const matrix44& parentMatrix) {
    if (!(placed_ && placedAt_ == GetTime())) Place();
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
