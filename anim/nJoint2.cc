#include "anim/nJoint2.h"

#include "kernel/nCmd.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {

const nCmdDef<nJoint2> cmds[] = {
    Bind<&nJoint2::SetOffsetTranslation>("v_otxyz_fff", "OTXZ"),
    {"fff_getot_v", "GTOT",
     [](nJoint2* self, nCmd* c) {
         const vector3& v = self->GetOffsetTranslation();
         c->Out()->SetF(v.x), c->Out()->SetF(v.y), c->Out()->SetF(v.z);
     }},
    Bind<&nJoint2::SetOffsetScale>("v_osxyz_fff", "OSXZ"),
    {"fff_getos_v", "GTOS",
     [](nJoint2* self, nCmd* c) {
         const vector3& v = self->GetOffsetScale();
         c->Out()->SetF(v.x), c->Out()->SetF(v.y), c->Out()->SetF(v.z);
     }},
    Bind<&nJoint2::SetOffsetRotation>("v_oqxyzw_ffff", "OQXZ"),
    {"ffff_getoq_v", "GTOQ",
     [](nJoint2* self, nCmd* c) {
         const quaternion& q = self->GetOffsetRotation();
         c->Out()->SetF(q.x), c->Out()->SetF(q.y), c->Out()->SetF(q.z), c->Out()->SetF(q.w);
     }},
};

}  // namespace

const nClassInfo nJoint2::classInfo = nClassInfo::Make<nJoint2>("njoint2", "n3dnode", cmds);

nJoint2::nJoint2() = default;

void nJoint2::SetOffsetTranslation(float x, float y, float z) {
    offsetT_.set(x, y, z);
    offsetDirty_ = true;
}

void nJoint2::SetOffsetScale(float x, float y, float z) {
    offsetS_.set(x, y, z);
    offsetDirty_ = true;
}

void nJoint2::SetOffsetRotation(float x, float y, float z, float w) {
    offsetQ_.set(x, y, z, w);
    offsetDirty_ = true;
}

nJoint2* nJoint2::GetParentJoint() const {
    nRoot* parent = GetParent();
    return parent && parent->GetClass() == GetClass() ? static_cast<nJoint2*>(parent) : nullptr;
}

void nJoint2::rebuildOffset() {
    matrix44 o;
    o.Scale(offsetS_);
    matrix44 r;
    r.SetQuaternion(offsetQ_);
    o = o * r;
    o.Translate(offsetT_);
    localOffset_ = o;
    // A parent's later offset change reaches this joint only when its own offset changes.
    if (nJoint2* parent = GetParentJoint()) o = o * parent->rest_;
    rest_ = o;
    invRest_ = o;
    invRest_.Invert();
    offsetDirty_ = false;
}

void nJoint2::Compute(nSceneGraph2* sceneGraph) {
    if (offsetDirty_) rebuildOffset();
    n3DNode::Compute(sceneGraph);
    const matrix44& local = GetLocalMatrix();
    skin_ = invRest_ * local * rest_;
    if (nJoint2* parent = GetParentJoint()) skin_ = skin_ * parent->skin_;
    if (nSceneNodeRecord* rec = sceneGraph ? sceneGraph->GetCurrentNode() : nullptr) {
        nSceneNodeRecord* parentRec = sceneGraph->GetParentNode();
        rec->matrix = local * localOffset_;
        if (parentRec) rec->matrix = rec->matrix * parentRec->matrix;
    }
    skinCopy_ = skin_;
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++) normal_[r][c] = skin_.m[r][c];
    }
}

bool nJoint2::SaveCmds(nPersistServer* ps) {
    if (!n3DNode::SaveCmds(ps)) return false;
    return ps->Put(this, nId("OTXZ"), offsetT_.x, offsetT_.y, offsetT_.z) &&
           ps->Put(this, nId("OQXZ"), offsetQ_.x, offsetQ_.y, offsetQ_.z, offsetQ_.w) &&
           ps->Put(this, nId("OSXZ"), offsetS_.x, offsetS_.y, offsetS_.z);
}
