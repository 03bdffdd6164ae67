#include "anim/nPRender.h"

#include <algorithm>
#include <cmath>

#include "anim/nPEmitter.h"
#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {

constexpr float Pi = 3.14159265358979f;
constexpr float DegToRad = Pi / 180.0f;

const nCmdDef<nPRender> cmds[] = {
    Bind<&nPRender::SetStretch>("v_setstretch_b", "SSTR"),
    Bind<&nPRender::GetStretch>("b_getstretch_v", "GSTR"),
    Bind<&nPRender::SetSpin>("v_setspin_f", "SSPN"),
    Bind<&nPRender::GetSpin>("f_getspin_v", "GSPN"),
    Bind<&nPRender::SetSpinAccel>("v_setspinaccel_f", "SSPA"),
    Bind<&nPRender::GetSpinAccel>("f_getspinaccel_v", "GSPA"),
    Bind<&nPRender::SetEmitter>("v_setemitter_s", "SEMT"),
    Bind<&nPRender::GetEmitter>("s_getemitter_v", "GEMT"),
    {"v_beginkeys_i", "BKEY", [](nPRender* self, nCmd* c) { self->BeginKeys(c->In()->GetI()); }},
    {"v_setkey_iffffff", "SKEY",
     [](nPRender* self, nCmd* c) {
         int i = c->In()->GetI();
         float v[6];
         for (float& f : v) f = c->In()->GetF();
         self->SetKey(i, v[0], v[1], v[2], v[3], v[4], v[5]);
     }},
    {"v_endkeys_v", "EKEY", [](nPRender* self, nCmd*) { self->EndKeys(); }},
    {"i_getnumkeys_v", "GNKS", [](nPRender* self, nCmd* c) { c->Out()->SetI(self->GetNumKeys()); }},
    {"ffffff_getkey_i", "GKEY",
     [](nPRender* self, nCmd* c) {
         float v[6];
         self->GetKey(c->In()->GetI(), v[0], v[1], v[2], v[3], v[4], v[5]);
         for (float f : v) c->Out()->SetF(f);
     }},
    Bind<&nPRender::SetMaxViewDist>("v_setmaxviewdist_f", "SMVD"),
    Bind<&nPRender::GetMaxViewDist>("f_getmaxviewdist_v", "GMVD"),
    Bind<&nPRender::SetDrawOrder>("v_setdraworder_b", "SDOR"),
    Bind<&nPRender::GetDrawOrder>("b_getdraworder_v", "GDOR"),
};

// A colour component as a byte; out-of-range values are held at the ends rather than
// spilling into the neighbouring channel.
uint32_t Byte(float v) {
    float b = v * 255.0f;
    if (!(b > 0.0f)) return 0;
    if (b >= 255.0f) return 255;
    return uint32_t(b);
}

}  // namespace

const nClassInfo nPRender::classInfo = nClassInfo::Make<nPRender>("nprender", "nanimnode", cmds);

nPRender::nPRender() {
    refEmitter_.SetCwd(this);
}

nPRender::~nPRender() {
    if (nIndexBuffer* ib = refIndex_.GetUnsafe()) {
        refIndex_.Set(nullptr);
        ib->Release();
    }
}

bool nPRender::MakeBuffers(const char* name, const uint16_t (&pattern)[6]) {
    // A dynamic buffer is the graphics server's, shared with every other dynamic user
    // (the shadow server's volumes, other renderers) and sized for whoever fetched it
    // last: only right after our own fetch does it tell how many of our quads fit. Sized
    // from another user's coordinates-only vertices, the index buffer would outgrow our
    // buffers and the device would refuse every draw.
    if (!holder_.GetBuffer()) {
        holder_.Create(N_VT_COORD | N_VT_RGBA | N_VT_UV0, 0);
        nVertexBuffer* own = holder_.GetBuffer();
        bufferQuads_ = own ? std::min(own->GetNumVertices() / 4, 65536 / 4) : 0;
    } else if (holder_.IsPrivate()) {
        bufferQuads_ = std::min(holder_.GetBuffer()->GetNumVertices() / 4, 65536 / 4);
    }
    const int quads = bufferQuads_;
    nIndexBuffer* ib = refIndex_.GetUnsafe();
    if (!ib) {
        nGfxServer* gfx = refGfx.Get();
        ib = gfx->FindIndexBuffer(name);
        if (!ib) ib = gfx->NewIndexBuffer(name);
        if (!ib) return false;
        refIndex_.Set(ib);
    }
    if (ib->GetCapacity() < 6 * quads) {
        ib->Begin(0, nIndexBuffer::TRIANGLELIST, 6 * quads);
        if (uint16_t* out = ib->GetLockPtr()) {
            for (int q = 0; q < quads; q++) {
                for (int i = 0; i < 6; i++) out[6 * q + i] = uint16_t(4 * q + pattern[i]);
            }
        }
        ib->End();
    }
    return true;
}

void nPRender::setWritePointers(nVertexBuffer* vb) {
    out_.coord = vb->GetCoordPtr();
    out_.color = vb->GetColorPtr();
    out_.uv = vb->GetUvPtr(0);
    out_.stride = vb->GetStride();
    argbColors_ = vb->IsColorArgb();
}

bool nPRender::BeginQuads(nSceneNodeRecord* rec) {
    nIndexBuffer* ib = refIndex_.GetUnsafe();
    nVertexBuffer* vb = holder_.Begin(ib, rec ? rec->pixelShader : nullptr, rec ? rec->texArray : nullptr);
    quadsPerBuffer_ = std::min(vb->GetNumVertices() / 4, ib ? ib->GetCapacity() / 6 : 0);
    quads_ = 0;
    if (quadsPerBuffer_ <= 0 || !vb->GetCoordPtr() || !vb->GetColorPtr() || !vb->GetUvPtr(0)) {
        holder_.End(0, 0);
        return false;
    }
    setWritePointers(vb);
    return true;
}

void nPRender::renewBuffer() {
    nVertexBuffer* vb = holder_.Swap(quads_ * 4, quads_ * 6);
    // A private holder hands its own buffer back unlocked: writing starts over in it.
    if (!vb->IsLocked() && !vb->Lock()) nKernelServer::FatalError("Aborting.");
    quads_ = 0;
    setWritePointers(vb);
}

void nPRender::EndQuads() {
    holder_.End(quads_ * 4, quads_ * 6);
    quads_ = 0;
    out_ = Writer();
}

// Keys are read by a particle's relative age; 65536 keys split even a life of many
// minutes finer than its frames.
static constexpr int MaxKeys = 65536;

void nPRender::BeginKeys(int count) {
    if (count < 0 || count > MaxKeys) {
        n_error("%s: beginkeys: %d keys is outside 0 to %d\n", GetFullName().c_str(), count, MaxKeys);
        return;
    }
    keys_.assign(size_t(count), Key{});
    numKeysF_ = float(count);
}

bool nPRender::SetKey(int index, float size, float jitter, float r, float g, float b, float a) {
    if (index < 0 || index >= GetNumKeys()) {
        n_error("%s: setkey %d: the table holds %d keys\n", GetFullName().c_str(), index, GetNumKeys());
        return false;
    }
    Key& k = keys_[size_t(index)];
    k.size = size;
    k.jitter = jitter;
    k.r = r;
    k.g = g;
    k.b = b;
    k.a = a;
    k.abgr = Byte(a) << 24 | Byte(b) << 16 | Byte(g) << 8 | Byte(r);
    k.argb = Byte(a) << 24 | Byte(r) << 16 | Byte(g) << 8 | Byte(b);
    return true;
}

bool nPRender::GetKey(int index, float& size, float& jitter, float& r, float& g, float& b, float& a) const {
    if (index < 0 || index >= GetNumKeys()) {
        n_error("%s: getkey %d: the table holds %d keys\n", GetFullName().c_str(), index, GetNumKeys());
        size = jitter = r = g = b = a = 0.0f;
        return false;
    }
    const Key& k = keys_[size_t(index)];
    size = k.size;
    jitter = k.jitter;
    r = k.r;
    g = k.g;
    b = k.b;
    a = k.a;
    return true;
}

void nPRender::SetSpin(float degrees) {
    spinDegrees_ = degrees;
    spin_ = degrees * DegToRad;
}
float nPRender::GetSpin() const { return spinDegrees_; }
void nPRender::SetSpinAccel(float degrees) {
    spinAccelDegrees_ = degrees;
    spinAccel_ = degrees * DegToRad;
}
float nPRender::GetSpinAccel() const { return spinAccelDegrees_; }

void nPRender::SetEmitter(const char* path) {
    emitterPath_ = path ? path : "";
    refEmitter_.SetPath(emitterPath_.empty() ? nullptr : emitterPath_.c_str());
    emitterLogged_ = false;
}

nPEmitter* nPRender::GetEmitterNode() {
    if (!refEmitter_.GetPath()) return nullptr;
    nRoot* obj = refEmitter_.Resolve();
    if (obj && obj->IsA("npemitter")) return static_cast<nPEmitter*>(obj);
    if (!emitterLogged_) {
        n_error("%s: emitter '%s' %s\n", GetFullName().c_str(), emitterPath_.c_str(),
                obj ? "is no particle emitter" : "does not exist");
    }
    emitterLogged_ = true;
    refEmitter_.Invalidate();
    return nullptr;
}

bool nPRender::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    bool ok = ps->Put(this, nId("SSTR"), stretch_) && ps->Put(this, nId("SSPN"), GetSpin()) &&
              ps->Put(this, nId("SSPA"), GetSpinAccel()) && ps->Put(this, nId("SMVD"), maxViewDist_) &&
              ps->Put(this, nId("SDOR"), drawOrder_) && ps->Put(this, nId("SEMT"), emitterPath_.c_str());
    if (!ok) return false;
    const int n = GetNumKeys();
    if (n <= 0) return true;
    ok = ps->Put(this, nId("BKEY"), n);
    for (int i = 0; ok && i < n; i++) {
        float v[6];
        GetKey(i, v[0], v[1], v[2], v[3], v[4], v[5]);
        ok = ps->Put(this, nId("SKEY"), i, v[0], v[1], v[2], v[3], v[4], v[5]);
    }
    return ok && ps->Put(this, nId("EKEY"));
}
