#include "scene/nOverlayPlane.h"

#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nPersistServer.h"
#include "scene/EffectBuffers.h"
#include "scene/nSceneGraph2.h"

const nCmdDef<nOverlayPlane> nOverlayPlane::cmds[] = {
    Bind<&nOverlayPlane::SetColor>("v_setcolor_ffff", "SCOL"),
    {"ffff_getcolor_v", "GCOL",
     [](nOverlayPlane* self, nCmd* c) {
         for (float v : self->color_) c->Out()->SetF(v);
     }},
};

const nClassInfo nOverlayPlane::classInfo = nClassInfo::Make<nOverlayPlane>("noverlayplane", "nvisnode", cmds);

nOverlayPlane::~nOverlayPlane() {
    if (nIndexBuffer* ib = refIndices_.GetUnsafe()) {
        refIndices_.Set(nullptr);
        ib->Release();
    }
}

void nOverlayPlane::SetColor(float r, float g, float b, float a) {
    color_[0] = r, color_[1] = g, color_[2] = b, color_[3] = a;
}

bool nOverlayPlane::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    return true;
}

void nOverlayPlane::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nGfxServer* gfx = refGfx.Get();
    if (!holderMade_) {
        holder_.Create(N_VT_COORD | N_VT_RGBA | N_VT_UV0, 4);
        holderMade_ = true;
    }
    if (!refIndices_.IsValid()) {
        refIndices_.Set(effect::SharedIndexBuffer(gfx, "noverlayplane_ibuf", nIndexBuffer::TRIANGLELIST, 6,
                                                  [](uint16_t* p) {
                                                      const uint16_t q[] = {0, 1, 2, 2, 3, 0};
                                                      for (uint16_t i : q) *p++ = i;
                                                  }));
        if (!refIndices_.IsValid()) return;
    }
    const uint32_t color = effect::PackColor(gfx->GetColorFormat(), color_[0], color_[1], color_[2], color_[3]);
    if (color == 0) return;

    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    const matrix44 identity;
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->PushMatrix(nGfxServer::PROJECTION);
    gfx->SetMatrix(nGfxServer::MODELVIEW, identity);
    gfx->SetMatrix(nGfxServer::PROJECTION, identity);
    nVertexBuffer* vb = holder_.Begin(refIndices_.GetUnsafe(), rec ? rec->pixelShader : nullptr,
                                      rec ? rec->texArray : nullptr);
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    const float uvs[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    float* coord = vb->GetCoordPtr();
    float* uv = vb->GetUvPtr(0);
    uint32_t* rgba = vb->GetColorPtr();
    const int stride = vb->GetStride();
    for (int i = 0; i < 4; i++, coord += stride, uv += stride, rgba += stride) {
        coord[0] = corners[i][0], coord[1] = corners[i][1], coord[2] = 0.0f;
        uv[0] = uvs[i][0], uv[1] = uvs[i][1];
        *rgba = color;
    }
    holder_.End(4, 6);
    gfx->PopMatrix(nGfxServer::MODELVIEW);
    gfx->PopMatrix(nGfxServer::PROJECTION);
}

bool nOverlayPlane::SaveCmds(nPersistServer* ps) {
    return nVisNode::SaveCmds(ps) && ps->Put(this, nId("SCOL"), color_[0], color_[1], color_[2], color_[3]);
}
