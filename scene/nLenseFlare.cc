#include "scene/nLenseFlare.h"

#include <algorithm>

#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nPersistServer.h"
#include "scene/EffectBuffers.h"
#include "scene/nSceneGraph2.h"

namespace {

const nLenseFlare::Flare defaultFlare;

// Six indices a flare fit 16-bit indices up to this many flares.
constexpr int MaxFlares = 65536 / 4;

}  // namespace

const nCmdDef<nLenseFlare> nLenseFlare::cmds[] = {
    Bind<&nLenseFlare::BeginFlares>("v_beginflares_i", "BFLR"),
    Bind<&nLenseFlare::SetBaseColor>("v_setbasecolor_ffff", "SBCL"),
    {"ffff_getbasecolor_v", "GBCL",
     [](nLenseFlare* self, nCmd* c) {
         for (float v : self->baseColor_) c->Out()->SetF(v);
     }},
    Bind<&nLenseFlare::SetBlindColor>("v_setblindcolor_ffff", "SBLC"),
    {"ffff_getblindcolor_v", "GBLC",
     [](nLenseFlare* self, nCmd* c) {
         for (float v : self->blindColor_) c->Out()->SetF(v);
     }},
    Bind<&nLenseFlare::SetFlareSize>("v_setflaresizeat_if", "SFS_"),
    {"f_getflaresizeat_i", "GFS_", [](nLenseFlare* self, nCmd* c) { c->Out()->SetF(self->GetFlare(c->In()->GetI()).size); }},
    Bind<&nLenseFlare::SetFlarePos>("v_setflareposat_if", "SFPA"),
    {"f_getflareposat_i", "GFPA", [](nLenseFlare* self, nCmd* c) { c->Out()->SetF(self->GetFlare(c->In()->GetI()).pos); }},
    Bind<&nLenseFlare::SetFlareColor>("v_setflarecolorat_iffff", "SFCA"),
    {"ffff_getflarecolorat_i", "GFCA",
     [](nLenseFlare* self, nCmd* c) {
         for (float v : self->GetFlare(c->In()->GetI()).color) c->Out()->SetF(v);
     }},
    Bind<&nLenseFlare::EndFlares>("v_endflares_v", "EFLR"),
    Bind<&nLenseFlare::GetNumFlares>("i_getnumberofflares_v", "GNOF"),
};

const nClassInfo nLenseFlare::classInfo = nClassInfo::Make<nLenseFlare>("nlenseflare", "nvisnode", cmds);

nLenseFlare::~nLenseFlare() { releaseBuffers(); }

void nLenseFlare::releaseBuffers() {
    if (nIndexBuffer* ib = refIndices_.GetUnsafe()) {
        refIndices_.Set(nullptr);
        ib->Release();
    }
}

void nLenseFlare::BeginFlares(int n) {
    if (n < 0 || n > MaxFlares) {
        n_error("%s: beginflares %d: 0 to %d flares\n", GetFullName().c_str(), n, MaxFlares);
        return;
    }
    // A flare draws a quad: four vertices of position, colour and uv, and six indices.
    constexpr uint64_t flareBytes = sizeof(Flare) + 4 * 36 + 6 * sizeof(uint16_t);
    if (!flaresCharge_.Hold(uint64_t(n) * flareBytes, this, "v_beginflares_i")) return;
    flares_.assign(size_t(n), Flare());
    // The shared index buffer may be too short for the new count: made again on use.
    if (holderMade_) {
        releaseBuffers();
        holderMade_ = false;
    }
}

nLenseFlare::Flare* nLenseFlare::flare(int i) {
    if (i >= 0 && i < GetNumFlares()) return &flares_[size_t(i)];
    n_error("%s: flare %d of %d\n", GetFullName().c_str(), i, GetNumFlares());
    return nullptr;
}

const nLenseFlare::Flare& nLenseFlare::GetFlare(int i) const {
    return i >= 0 && i < GetNumFlares() ? flares_[size_t(i)] : defaultFlare;
}

void nLenseFlare::SetFlareSize(int i, float size) {
    if (Flare* f = flare(i)) f->size = size, f->halfSize = size * 0.5f;
}

void nLenseFlare::SetFlarePos(int i, float pos) {
    if (Flare* f = flare(i)) f->pos = pos;
}

void nLenseFlare::SetFlareColor(int i, float r, float g, float b, float a) {
    if (Flare* f = flare(i)) f->color[0] = r, f->color[1] = g, f->color[2] = b, f->color[3] = a;
}

void nLenseFlare::SetBaseColor(float r, float g, float b, float a) {
    baseColor_[0] = r, baseColor_[1] = g, baseColor_[2] = b, baseColor_[3] = a;
}

void nLenseFlare::SetBlindColor(float r, float g, float b, float a) {
    blindColor_[0] = r, blindColor_[1] = g, blindColor_[2] = b, blindColor_[3] = a;
}

void nLenseFlare::createBuffers() {
    const int n = std::max(GetNumFlares(), 1);
    holder_.Create(N_VT_COORD | N_VT_RGBA | N_VT_UV0, 4 * n);
    holderMade_ = true;
    nGfxServer* gfx = refGfx.Get();
    refIndices_.Set(effect::SharedIndexBuffer(gfx, "nlenseflare_ibuf", nIndexBuffer::TRIANGLELIST, 6 * n,
                                              [n](uint16_t* p) {
                                                  for (int k = 0; k < 4 * n; k += 4) {
                                                      const int q[] = {k, k + 1, k + 2, k + 2, k + 3, k};
                                                      for (int i : q) *p++ = uint16_t(i);
                                                  }
                                              }));
}

bool nLenseFlare::Attach(nSceneGraph2* sceneGraph) {
    if (!active_ || !nVisNode::Attach(sceneGraph)) return false;
    if (!holderMade_) createBuffers();
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    return true;
}

void nLenseFlare::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nGfxServer* gfx = refGfx.Get();
    nIndexBuffer* ib = refIndices_.GetUnsafe();
    if (!ib) return;
    const matrix44 modelview = gfx->GetMatrix(nGfxServer::MODELVIEW);
    const matrix44 projection = gfx->GetMatrix(nGfxServer::PROJECTION);
    const float* lp = lightPos_;
    visible_ = effect::ProjectOrigin(modelview, projection, lightPos_) && lp[0] >= -1.0f && lp[0] <= 1.0f &&
               lp[1] >= -1.0f && lp[1] <= 1.0f && lp[2] <= 1.0f;
    if (!visible_) return;

    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    nVertexBuffer* vb = holder_.Begin(ib, rec ? rec->pixelShader : nullptr, rec ? rec->texArray : nullptr);
    // Only what both buffers hold is drawn: another node may have made the shared
    // index buffer for fewer flares, and a dynamic buffer may be short.
    const int n = std::min({GetNumFlares(), ib->GetCapacity() / 6, vb->GetLockedCount() / 4});
    const int format = gfx->GetColorFormat();
    float* coord = vb->GetCoordPtr();
    float* uv = vb->GetUvPtr(0);
    uint32_t* rgba = vb->GetColorPtr();
    const int stride = vb->GetStride();
    for (int k = 0; k < n; k++) {
        const Flare& f = flares_[size_t(k)];
        const float h = f.halfSize, w = 0.75f * h;  // 4:3 screen
        const float cx = lp[0] - f.pos * lp[0], cy = lp[1] - f.pos * lp[1];
        const uint32_t color = effect::PackColor(format, f.color[0] * baseColor_[0], f.color[1] * baseColor_[1],
                                                 f.color[2] * baseColor_[2], f.color[3] * baseColor_[3]);
        const float corners[4][4] = {{cx + w, cy + h, 1, 1}, {cx - w, cy + h, 0, 1}, {cx - w, cy - h, 0, 0},
                                     {cx + w, cy - h, 1, 0}};
        for (const auto& c : corners) {
            coord[0] = c[0], coord[1] = c[1], coord[2] = 0.0f;
            uv[0] = c[2], uv[1] = c[3];
            *rgba = color;
            coord += stride, uv += stride, rgba += stride;
        }
    }
    const matrix44 identity;
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->PushMatrix(nGfxServer::PROJECTION);
    gfx->SetMatrix(nGfxServer::MODELVIEW, identity);
    gfx->SetMatrix(nGfxServer::PROJECTION, identity);
    holder_.End(4 * n, 6 * n);
    gfx->PopMatrix(nGfxServer::PROJECTION);
    gfx->PopMatrix(nGfxServer::MODELVIEW);
}

bool nLenseFlare::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    const float* bc = blindColor_;
    if (!ps->Put(this, nId("BFLR"), GetNumFlares()) || !ps->Put(this, nId("SBLC"), bc[0], bc[1], bc[2], bc[3]))
        return false;
    for (int i = 0; i < GetNumFlares(); i++) {
        const Flare& f = flares_[size_t(i)];
        if (!ps->Put(this, nId("SFS_"), i, f.size) || !ps->Put(this, nId("SFPA"), i, f.pos) ||
            !ps->Put(this, nId("SFCA"), i, f.color[0], f.color[1], f.color[2], f.color[3]))
            return false;
    }
    return ps->Put(this, nId("EFLR"));
}
