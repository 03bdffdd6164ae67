#include "logic/nModTransformer.h"

#include "kernel/nPersistServer.h"
#include "kernel/nCmdVector.h"

static const nCmdDef<nModTransformer> cmds[] = {
    {"v_txyz_fff", "TSPO", [](nModTransformer* self, nCmd* c) { self->SetPosition(GetVector3(c)); }},
    {"fff_gett_v", "TGPO", [](nModTransformer* self, nCmd* c) { PutVector3(c, self->GetPosition()); }},
    {"v_sxyz_fff", "TSSZ", [](nModTransformer* self, nCmd* c) { self->SetScale(GetVector3(c)); }},
    {"fff_gets_v", "TGSZ", [](nModTransformer* self, nCmd* c) { PutVector3(c, self->GetScale()); }},
    {"v_setrot_fff", "TSRO",
     [](nModTransformer* self, nCmd* c) {
         vector3 a = GetVector3(c);
         self->SetRot(a.x, a.y, a.z);
     }},
    {"v_qxyzw_ffff", "TSQU",
     [](nModTransformer* self, nCmd* c) {
         vector3 v = GetVector3(c);
         self->SetQuaternion(quaternion(v.x, v.y, v.z, c->In()->GetF()));
     }},
    {"ffff_getq_v", "TGQU",
     [](nModTransformer* self, nCmd* c) {
         const quaternion& q = self->GetQuaternion();
         c->Out()->SetF(q.x);
         c->Out()->SetF(q.y);
         c->Out()->SetF(q.z);
         c->Out()->SetF(q.w);
     }},
};
const nClassInfo nModTransformer::classInfo = nClassInfo::Make<nModTransformer>("nmodtransformer", "nmodule", cmds);

nModTransformer::nModTransformer() = default;

nModTransformer::~nModTransformer() = default;

void nModTransformer::SetScale(const vector3& s) {
    scale_ = s;
    dirty_ = true;
}

void nModTransformer::SetPosition(const vector3& p) {
    position_ = p;
    dirty_ = true;
}

void nModTransformer::SetRot(float x, float y, float z) {
    matrix44 m;
    m.RotateX(x);
    m.RotateY(y);
    m.RotateZ(z);
    rotation_ = m.GetQuaternion();
    dirty_ = true;
}

void nModTransformer::SetQuaternion(const quaternion& q) {
    rotation_ = q;
    dirty_ = true;
}

void nModTransformer::UpdateMatrix() {
    if (!dirty_) return;
    matrix44 m;
    m.Scale(scale_);
    matrix44 r;
    r.SetQuaternion(rotation_);
    m.MultSimple(r);
    m.m[3][0] += position_.x;
    m.m[3][1] += position_.y;
    m.m[3][2] += position_.z;
    matrix_ = m;
    dirty_ = false;
    identity_ = matrix_ == matrix44();
}

matrix44 nModTransformer::WorldMatrix(const matrix44& nodeWorld) {
    UpdateMatrix();
    return identity_ ? nodeWorld : matrix_ * nodeWorld;
}

bool nModTransformer::SaveCmds(nPersistServer* ps) {
    if (!nModule::SaveCmds(ps)) return false;
    const vector3& p = position_;
    const vector3& s = scale_;
    const quaternion& q = rotation_;
    bool ok = true;
    if (p.x != 0.0f || p.y != 0.0f || p.z != 0.0f) ok = ps->Put(this, nId("TSPO"), p.x, p.y, p.z);
    if (ok && (s.x != 1.0f || s.y != 1.0f || s.z != 1.0f)) ok = ps->Put(this, nId("TSSZ"), s.x, s.y, s.z);
    if (ok && (q.x != 0.0f || q.y != 0.0f || q.z != 0.0f || q.w != 1.0f)) {
        ok = ps->Put(this, nId("TSQU"), q.x, q.y, q.z, q.w);
    }
    return ok;
}
