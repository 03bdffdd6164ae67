#include "scene/n3DNode.h"

#include "gfx/nGfxServer.h"
#include "kernel/nCmd.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"
#include "kernel/nCmdVector.h"

namespace {

constexpr float Pi = 3.1415927f;

float ToRadians(float degrees) { return degrees * Pi / 180.0f; }
float ToDegrees(float radians) { return radians * 180.0f / Pi; }

const nCmdDef<n3DNode> cmds[] = {
    Bind<&n3DNode::SetActive>("v_setactive_b", "SACT"),
    Bind<&n3DNode::GetActive>("b_getactive_v", "GACT"),
    Bind<&n3DNode::SetMaxLod>("v_setmaxlod_f", "SMLD"),
    Bind<&n3DNode::GetMaxLod>("f_getmaxlod_v", "GMLD"),
    Bind<&n3DNode::SetHighDetail>("v_sethighdetail_b", "SHDT"),
    Bind<&n3DNode::GetHighDetail>("b_gethighdetail_v", "GHDT"),
    Bind<&n3DNode::SetSprite>("v_setsprite_b", "SSPR"),
    Bind<&n3DNode::GetSprite>("b_getsprite_v", "GSPR"),
    Bind<&n3DNode::SetBillboard>("v_setbillboard_b", "SBLB"),
    Bind<&n3DNode::GetBillboard>("b_getbillboard_v", "GBLB"),
    Bind<&n3DNode::SetLockViewer>("v_setlockviewer_b", "SLVW"),
    Bind<&n3DNode::GetLockViewer>("b_getlockviewer_v", "GLVW"),
    Bind<&n3DNode::SetViewSpace>("v_setviewspace_b", "SVWS"),
    Bind<&n3DNode::GetViewSpace>("b_getviewspace_v", "GVWS"),
    Bind<&n3DNode::Txyz>("v_txyz_fff", "TXYZ"),
    Bind<&n3DNode::Tx>("v_tx_f", "TX__"),
    Bind<&n3DNode::Ty>("v_ty_f", "TY__"),
    Bind<&n3DNode::Tz>("v_tz_f", "TZ__"),
    Bind<&n3DNode::Rxyz>("v_rxyz_fff", "RXYZ"),
    Bind<&n3DNode::Rx>("v_rx_f", "RX__"),
    Bind<&n3DNode::Ry>("v_ry_f", "RY__"),
    Bind<&n3DNode::Rz>("v_rz_f", "RZ__"),
    Bind<&n3DNode::Qxyzw>("v_qxyzw_ffff", "QXYZ"),
    Bind<&n3DNode::Sxyz>("v_sxyz_fff", "SXYZ"),
    Bind<&n3DNode::Sx>("v_sx_f", "SX__"),
    Bind<&n3DNode::Sy>("v_sy_f", "SY__"),
    Bind<&n3DNode::Sz>("v_sz_f", "SZ__"),
    {"fff_gett_v", "GETT", [](n3DNode* self, nCmd* c) { PutVector3(c, self->GetT()); }},
    {"fff_getr_v", "GETR", [](n3DNode* self, nCmd* c) { PutVector3(c, self->GetR()); }},
    {"fff_gets_v", "GETS", [](n3DNode* self, nCmd* c) { PutVector3(c, self->GetS()); }},
    {"ffff_getq_v", "GETQ",
     [](n3DNode* self, nCmd* c) {
         const quaternion& q = self->GetQ();
         c->Out()->SetF(q.x);
         c->Out()->SetF(q.y);
         c->Out()->SetF(q.z);
         c->Out()->SetF(q.w);
     }},
};

}  // namespace

const nClassInfo n3DNode::classInfo = nClassInfo::Make<n3DNode>("n3dnode", "nvisnode", cmds);

n3DNode::n3DNode() = default;

void n3DNode::SetHighDetail(bool on) {
    NotifyParents();
    setFlag(HighDetail, on);
}

void n3DNode::Txyz(float x, float y, float z) {
    translation_.set(x, y, z);
    touched();
}
void n3DNode::Tx(float x) {
    translation_.x = x;
    touched();
}
void n3DNode::Ty(float y) {
    translation_.y = y;
    touched();
}
void n3DNode::Tz(float z) {
    translation_.z = z;
    touched();
}

void n3DNode::Rxyz(float x, float y, float z) {
    rotation_.set(ToRadians(x), ToRadians(y), ToRadians(z));
    turned();
}
void n3DNode::Rx(float x) {
    rotation_.x = ToRadians(x);
    turned();
}
void n3DNode::Ry(float y) {
    rotation_.y = ToRadians(y);
    turned();
}
void n3DNode::Rz(float z) {
    rotation_.z = ToRadians(z);
    turned();
}

void n3DNode::Qxyzw(float x, float y, float z, float w) {
    quat_.set(x, y, z, w);
    flags_ = uint16_t((flags_ | Dirty | QuaternionMode) & ~MatrixDirect);
}

void n3DNode::Sxyz(float x, float y, float z) {
    scale_.set(x, y, z);
    touched();
}
void n3DNode::Sx(float x) {
    scale_.x = x;
    touched();
}
void n3DNode::Sy(float y) {
    scale_.y = y;
    touched();
}
void n3DNode::Sz(float z) {
    scale_.z = z;
    touched();
}

vector3 n3DNode::GetR() const {
    return vector3(ToDegrees(rotation_.x), ToDegrees(rotation_.y), ToDegrees(rotation_.z));
}

void n3DNode::SetLocalMatrix(const matrix44& m) {
    local_ = m;
    flags_ = uint16_t((flags_ | MatrixDirect) & ~Dirty);
}

const matrix44& n3DNode::GetLocalMatrix() {
    UpdateMatrix();
    return local_;
}

void n3DNode::UpdateMatrix() {
    if (!(flags_ & Dirty) || (flags_ & MatrixDirect)) return;
    local_.Ident();
    local_.Scale(scale_);
    if (flags_ & QuaternionMode) {
        matrix44 q;
        q.SetQuaternion(quat_);
        local_.Mult(q);
    } else {
        local_.RotateX(rotation_.x);
        local_.RotateY(rotation_.y);
        local_.RotateZ(rotation_.z);
    }
    local_.Translate(translation_);
    flags_ = uint16_t(flags_ & ~Dirty);
}

bool n3DNode::Attach(nSceneGraph2* sceneGraph) {
    if (!(flags_ & Active)) return true;
    nSceneNodeRecord* parent = sceneGraph->GetCurrentNode();
    nChannelContext* ctx = parent ? parent->channelContext : nullptr;
    if (!sceneGraph->PushNode()) return false;
    // The topmost transform binds the channels its subtree reads; the ones below share
    // that context. A context refused at the channel server's limit reads 0.
    if (!ctx) ctx = refChannel->NewContext(GetChannelSet());
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    rec->channelContext = ctx;
    const float lod = nChannelContext::Read(ctx, lodChannel_).f[0];
    const float detail = (flags_ & HighDetail) ? 1.0f : nChannelContext::Read(ctx, detailChannel_).f[0];
    bool result = true;
    if (maxLod_ != 0.0f && lod >= maxLod_) {
        // culled by distance
    } else if (detail > 0.5f) {
        Compute(sceneGraph);
        result = nVisNode::Attach(sceneGraph);
    }
    sceneGraph->PopNode();
    return result;
}

void n3DNode::Compute(nSceneGraph2* sceneGraph) {
    // Interpolators move the transform before its matrix is made; emitters read the
    // finished matrix.
    ComputeDepends(sceneGraph, false);
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) computeMatrix(sceneGraph, rec);
    ComputeDepends(sceneGraph, true);
}

void n3DNode::computeMatrix(nSceneGraph2* sceneGraph, nSceneNodeRecord* rec) {
    if (!(flags_ & MatrixDirect)) UpdateMatrix();
    matrix44 m = local_;
    if (!(flags_ & MatrixDirect) && (flags_ & LockViewer)) {
        const matrix44& viewer = refGfx->GetMatrix(nGfxServer::VIEWER);
        for (int j = 0; j < 4; j++) m.m[3][j] = viewer.m[3][j];
    }
    if (!(flags_ & ViewSpace)) {
        if (nSceneNodeRecord* parent = sceneGraph->GetParentNode()) m = m * parent->matrix;
    }
    if (flags_ & (Sprite | Billboard)) {
        vector3 x, y, z;
        vector3 toNode = m.Translation();
        toNode.Norm();
        if (flags_ & Sprite) {
            // Faces the view-space origin, upright.
            z = toNode;
            x = vector3(0.0f, 1.0f, 0.0f) * z;
            x.Norm();
            y = z * x;
            y.Norm();
        } else {
            // Turns about its own y axis only.
            const vector3 a(m.m[1][0], m.m[1][1], m.m[1][2]);
            x = a * toNode;
            x.Norm();
            y = a;
            y.Norm();
            z = x * a;
            z.Norm();
        }
        const vector3 rows[3] = {x, y, z};
        for (int i = 0; i < 3; i++) {
            m.m[i][0] = rows[i].x;
            m.m[i][1] = rows[i].y;
            m.m[i][2] = rows[i].z;
            m.m[i][3] = 0.0f;
        }
    }
    rec->matrix = m;
}

void n3DNode::CollectChannels(nChannelSet* set) {
    lodChannel_ = set->AddChannel(refChannel.Get(), "lod");
    detailChannel_ = (flags_ & HighDetail) ? -1 : set->AddChannel(refChannel.Get(), "detail");
    nVisNode::CollectChannels(set);
}

bool n3DNode::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    const vector3 zero;
    bool ok = true;
    if (!(flags_ & Active)) ok = ok && ps->Put(this, nId("SACT"), false);
    if (maxLod_ > 0.0f) ok = ok && ps->Put(this, nId("SMLD"), maxLod_);
    if (translation_ != zero) ok = ok && ps->Put(this, nId("TXYZ"), translation_.x, translation_.y, translation_.z);
    if (flags_ & QuaternionMode) {
        if (quat_ != quaternion()) ok = ok && ps->Put(this, nId("QXYZ"), quat_.x, quat_.y, quat_.z, quat_.w);
    } else if (rotation_ != zero) {
        const vector3 r = GetR();
        ok = ok && ps->Put(this, nId("RXYZ"), r.x, r.y, r.z);
    }
    if (scale_ != vector3(1.0f, 1.0f, 1.0f)) ok = ok && ps->Put(this, nId("SXYZ"), scale_.x, scale_.y, scale_.z);
    if (flags_ & Sprite) ok = ok && ps->Put(this, nId("SSPR"), true);
    if (flags_ & Billboard) ok = ok && ps->Put(this, nId("SBLB"), true);
    if (flags_ & LockViewer) ok = ok && ps->Put(this, nId("SLVW"), true);
    if (!(flags_ & HighDetail)) ok = ok && ps->Put(this, nId("SHDT"), false);
    if (flags_ & ViewSpace) ok = ok && ps->Put(this, nId("SVWS"), true);
    return ok;
}
