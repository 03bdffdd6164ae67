#include "scene/nHalo.h"

#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nPersistServer.h"
#include "scene/EffectBuffers.h"
#include "scene/nSceneGraph2.h"

const nCmdDef<nHalo> nHalo::cmds[] = {
    Bind<&nHalo::SetMinDistance>("v_setmindistance_f", "SMND"),
    Bind<&nHalo::SetMaxDistance>("v_setmaxdistance_f", "SMXD"),
    Bind<&nHalo::GetMinDistance>("f_getmindistance_v", "GMND"),
    Bind<&nHalo::GetMaxDistance>("f_getmaxdistance_v", "GMXD"),
    Bind<&nHalo::SetMinSize>("v_setminsize_f", "SMNS"),
    Bind<&nHalo::SetMaxSize>("v_setmaxsize_f", "SMXS"),
    Bind<&nHalo::GetMinSize>("f_getminsize_v", "GMNS"),
    Bind<&nHalo::GetMaxSize>("f_getmaxsize_v", "GMXS"),
    Bind<&nHalo::SetMinBrightness>("v_setminbrightness_f", "SMNB"),
    Bind<&nHalo::SetMaxBrightness>("v_setmaxbrightness_f", "SMXB"),
    Bind<&nHalo::GetMinBrightness>("f_getminbrightness_v", "GMNB"),
    Bind<&nHalo::GetMaxBrightness>("f_getmaxbrightness_v", "GMXB"),
};

const nClassInfo nHalo::classInfo = nClassInfo::Make<nHalo>("nhalo", "nvisnode", cmds);

nHalo::~nHalo() {
    if (nIndexBuffer* ib = refIndices_.GetUnsafe()) {
        refIndices_.Set(nullptr);
        ib->Release();
    }
}

void nHalo::updateSlopes() {
    // Equal distances would divide by zero; the slopes are then never used between them.
    const float span = maxDist_ - minDist_;
    sizeSlope_ = span != 0.0f ? (maxHalf_ - minHalf_) / span : 0.0f;
    brightSlope_ = span != 0.0f ? (maxBright_ - minBright_) / span : 0.0f;
}

void nHalo::SetMinDistance(float d) { minDist_ = d, updateSlopes(); }
void nHalo::SetMaxDistance(float d) { maxDist_ = d, updateSlopes(); }
void nHalo::SetMinSize(float s) { minHalf_ = s * 0.5f, updateSlopes(); }
void nHalo::SetMaxSize(float s) { maxHalf_ = s * 0.5f, updateSlopes(); }
void nHalo::SetMinBrightness(float b) { minBright_ = b, updateSlopes(); }
void nHalo::SetMaxBrightness(float b) { maxBright_ = b, updateSlopes(); }

void nHalo::SizeAt(float d, float& h, float& b) const {
    if (d <= minDist_) {
        h = minHalf_, b = maxBright_;
    } else if (d >= maxDist_) {
        h = maxHalf_, b = minBright_;
    } else {
        const float t = d - minDist_;
        h = minHalf_ + t * sizeSlope_;
        b = maxBright_ - t * brightSlope_;
    }
}

void nHalo::CreateBuffers() {
    holder_.Create(N_VT_COORD | N_VT_RGBA | N_VT_UV0, 4);
    holderMade_ = true;
    nGfxServer* gfx = refGfx.Get();
    refIndices_.Set(effect::SharedIndexBuffer(gfx, "bhalo_ibuf", nIndexBuffer::TRIANGLESTRIP, 4, [](uint16_t* p) {
        const uint16_t q[] = {0, 1, 3, 2};
        for (uint16_t i : q) *p++ = i;
    }));
}

bool nHalo::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    if (!holderMade_) CreateBuffers();
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    return true;
}

void nHalo::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nGfxServer* gfx = refGfx.Get();
    if (!refIndices_.IsValid()) return;
    const matrix44& mv = gfx->GetMatrix(nGfxServer::MODELVIEW);
    const matrix44& proj = gfx->GetMatrix(nGfxServer::PROJECTION);
    float p[4];
    if (!effect::ProjectOrigin(mv, proj, p)) return;
    if (p[0] < -1.0f || p[0] > 1.0f || p[1] < -1.0f || p[1] > 1.0f || p[2] > 1.0f) return;

    float h, b;
    SizeAt(-mv.m[3][2], h, b);
    const uint32_t color = n_unit_byte(b) << 24 | 0xFFFFFFu;
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    nVertexBuffer* vb = holder_.Begin(refIndices_.GetUnsafe(), rec ? rec->pixelShader : nullptr,
                                      rec ? rec->texArray : nullptr);
    const float corners[4][2] = {{h, h}, {h, -h}, {-h, -h}, {-h, h}};
    const float uvs[4][2] = {{1, 1}, {1, 0}, {0, 0}, {0, 1}};
    float* coord = vb->GetCoordPtr();
    float* uv = vb->GetUvPtr(0);
    uint32_t* rgba = vb->GetColorPtr();
    const int stride = vb->GetStride();
    for (int i = 0; i < 4; i++, coord += stride, uv += stride, rgba += stride) {
        coord[0] = corners[i][0], coord[1] = corners[i][1], coord[2] = 0.0f;
        uv[0] = uvs[i][0], uv[1] = uvs[i][1];
        *rgba = color;
    }
    holder_.End(4, 4);
}

bool nHalo::SaveCmds(nPersistServer* ps) {
    return nVisNode::SaveCmds(ps) && ps->Put(this, nId("SMND"), minDist_) && ps->Put(this, nId("SMXD"), maxDist_) &&
           ps->Put(this, nId("SMNS"), GetMinSize()) && ps->Put(this, nId("SMXS"), GetMaxSize()) &&
           ps->Put(this, nId("SMNB"), minBright_) && ps->Put(this, nId("SMXB"), maxBright_);
}
