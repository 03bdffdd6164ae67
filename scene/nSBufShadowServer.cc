#include "scene/nSBufShadowServer.h"

#include <cmath>

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nLight.h"
#include "gfx/nPixelShader.h"
#include "gfx/nRenderState.h"
#include "gfx/nVertexBuffer.h"
#include "scene/EffectBuffers.h"
#include "scene/nShadowCaster.h"

namespace {

using Desc = nPixelShaderDesc;

// Engine render-state codes and values.
enum : int {
    RsStencilEnable = 30, RsStencilFail = 31, RsStencilZFail = 32, RsStencilPass = 33, RsStencilFunc = 34,
    RsStencilRef = 35, RsStencilMask = 36, RsStencilClear = 37, RsColorWrite = 38,
    OpKeep = 50, OpIncrement = 54, OpDecrement = 55,
};
enum { PassA = 0, PassB = 1, ShadowPass = 2 };

constexpr float Extrusion = 100000.0f;
// Volumes are pulled slightly towards the viewer so they do not fight the caster's faces.
constexpr float ZOffset = 0.02f;
constexpr int VolumeVertices = 4096;

vector3 transform(const matrix44& m, const vector3& p) {
    return vector3(p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
                   p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
                   p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]);
}

vector3 normal(const vector3& a, const vector3& b, const vector3& c) {
    vector3 n = (b - a) * (c - a);
    const float len = n.Len();
    return len > 1e-7f ? n * (1.0f / len) : n;
}

}  // namespace

const nClassInfo nSBufShadowServer::classInfo = nClassInfo::Make<nSBufShadowServer>("nsbufshadowserver", "nshadowserver");

nSBufShadowServer::nSBufShadowServer() : refGfx_("/sys/servers/gfx") {
    for (Desc& d : desc_) {
        d.numStages = 0;
        d.lightEnable = false;
        d.alphaEnable = false;
        d.zwriteEnable = false;
        d.fogEnable = false;
        d.alphaTestEnable = false;
        d.zFunc = Desc::LESS;
    }
    desc_[PassA].cullMode = Desc::CULL_CCW;
    desc_[PassB].cullMode = Desc::CULL_CW;
    Desc& s = desc_[ShadowPass];
    s.alphaEnable = true;
    s.srcBlend = Desc::SRCALPHA;
    s.destBlend = Desc::INVSRCALPHA;
    s.zFunc = Desc::ALWAYS;
    s.cullMode = Desc::CULL_NONE;
    for (Desc& d : desc_) d.SetAllChanged();
    if (nGfxServer* gfx = refGfx_.Resolve()) setState(gfx, RsStencilClear, 128);
}

nSBufShadowServer::~nSBufShadowServer() { releaseResources(); }

void nSBufShadowServer::releaseResources() {
    for (nRef<nPixelShader>& ref : shader_) {
        if (nPixelShader* ps = ref.GetUnsafe()) {
            ps->SetShaderDesc(nullptr);
            ref.Set(nullptr);
            ps->Release();
        }
    }
    for (nRef<nIndexBuffer>* ref : {&volumeIndices_, &quadIndices_}) {
        if (nIndexBuffer* ib = ref->GetUnsafe()) {
            ref->Set(nullptr);
            ib->Release();
        }
    }
    resourcesMade_ = false;
}

void nSBufShadowServer::setState(nGfxServer* gfx, int state, int value) {
    nRenderState rs;
    rs.state = state;
    rs.value.i = value;
    gfx->SetRenderState(rs);
}

bool nSBufShadowServer::makeResources(nGfxServer* gfx) {
    volumeHolder_.Create(N_VT_COORD, VolumeVertices);
    nVertexBuffer* vb = volumeHolder_.GetBuffer();
    quadsPerBatch_ = vb ? vb->GetNumVertices() / 4 : 0;
    if (quadsPerBatch_ > 0) {
        const int quads = quadsPerBatch_;
        volumeIndices_.Set(effect::SharedIndexBuffer(gfx, nullptr, nIndexBuffer::TRIANGLELIST, 6 * quads,
                                                     [quads](uint16_t* p) {
                                                         for (int q = 0; q < quads; q++) {
                                                             const int k = 4 * q;
                                                             const int t[] = {k, k + 1, k + 2, k, k + 2, k + 3};
                                                             for (int i : t) *p++ = uint16_t(i);
                                                         }
                                                     }));
    }
    quadHolder_.Create(N_VT_COORD | N_VT_RGBA, 4);
    quadIndices_.Set(effect::SharedIndexBuffer(gfx, nullptr, nIndexBuffer::TRIANGLELIST, 6, [](uint16_t* p) {
        const uint16_t t[] = {0, 1, 2, 2, 3, 0};
        for (uint16_t i : t) *p++ = i;
    }));
    bool ok = quadsPerBatch_ > 0 && volumeIndices_.IsValid() && quadHolder_.GetBuffer() && quadIndices_.IsValid();
    for (int i = 0; i < 3 && ok; i++) {
        nPixelShader* ps = gfx->NewPixelShader(nullptr);
        if (!ps) {
            ok = false;
            break;
        }
        ps->SetShaderDesc(&desc_[i]);
        shader_[i].Set(ps);
    }
    resourcesMade_ = true;
    if (!ok) {
        // Drawing shadows without them is impossible; the game goes on without shadows.
        n_error("nSBufShadowServer: the shadow buffers and shaders cannot be made; shadows are off\n");
        releaseResources();
        SetCastShadows(false);
    }
    return ok;
}

void nSBufShadowServer::BeginScene() {
    lightSet_ = false;
    numEdges_ = 0;
    if (!GetCastShadows()) return;
    nGfxServer* gfx = refGfx_.Get();
    // Without a stencil buffer the shadow pass would pass everywhere and darken the frame.
    stencilMissing_ = gfx->GetStencilBits() <= 0;
    if (stencilMissing_) {
        if (!noStencilLogged_) {
            n_error("nSBufShadowServer: the display has no stencil buffer; no shadows are drawn\n");
            noStencilLogged_ = true;
        }
        return;
    }
    noStencilLogged_ = false;
    if (!resourcesMade_) makeResources(gfx);
}

void nSBufShadowServer::AttachLight(const matrix44& m, const nLight& light) {
    if (!GetCastShadows() || stencilMissing_ || lightSet_ || light.type != nLight::DIRECTIONAL) return;
    lightDir_.set(-m.m[2][0], -m.m[2][1], -m.m[2][2]);
    lightSet_ = true;
}

void nSBufShadowServer::AttachCaster(const matrix44& m, nShadowCaster* caster) {
    if (!GetCastShadows() || !lightSet_ || !caster) return;
    // The light in the caster's model space (the inverse rotation of an orthonormal m).
    const vector3& d = lightDir_;
    const vector3 l(d.x * m.m[0][0] + d.y * m.m[0][1] + d.z * m.m[0][2],
                    d.x * m.m[1][0] + d.y * m.m[1][1] + d.z * m.m[1][2],
                    d.x * m.m[2][0] + d.y * m.m[2][1] + d.z * m.m[2][2]);
    caster->SetLocked(true);
    const int numEdges = caster->GetNumEdges();
    const int numVertices = caster->GetNumVertices();
    const float* coords = caster->GetCoords();
    const nShadowEdge* edges = caster->GetEdges();
    auto point = [coords](int i) { return vector3(coords[3 * i], coords[3 * i + 1], coords[3 * i + 2]); };
    for (int e = 0; e < numEdges; e++) {
        const nShadowEdge& edge = edges[e];
        // The loaders checked the indices; a caster filled by other code is checked here.
        if (edge.a >= numVertices || edge.b >= numVertices || edge.c >= numVertices || edge.d >= numVertices) continue;
        const vector3 a = point(edge.a), b = point(edge.b);
        const float s1 = normal(a, b, point(edge.c)) % l;
        const float s2 = normal(b, a, point(edge.d)) % l;
        vector3 p0, p1;
        if (s1 <= 0.001f && s2 > 0.001f) p0 = a, p1 = b;
        else if (s2 <= 0.001f && s1 > 0.001f) p0 = b, p1 = a;
        else continue;
        if (numEdges_ >= MaxEdges) break;
        edges_[numEdges_][0] = transform(m, p0);
        edges_[numEdges_][1] = transform(m, p1);
        numEdges_++;
    }
    caster->SetLocked(false);
}

void nSBufShadowServer::drawVolumes(nGfxServer* gfx, int quads, bool last) {
    setState(gfx, RsStencilPass, OpDecrement);
    volumeHolder_.Flush(4 * quads, 6 * quads, shader_[PassA].GetUnsafe(), nullptr);
    setState(gfx, RsStencilPass, OpIncrement);
    if (last) volumeHolder_.End(4 * quads, 6 * quads);
    else volumeHolder_.Swap(4 * quads, 6 * quads);
}

void nSBufShadowServer::EndScene() {
    if (!GetCastShadows() || !lightSet_ || !resourcesMade_) return;
    nGfxServer* gfx = refGfx_.Get();
    const vector3 ext = lightDir_ * Extrusion;
    const matrix44 identity;
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->SetMatrix(nGfxServer::MODELVIEW, identity);

    setState(gfx, RsStencilEnable, 1);
    setState(gfx, RsStencilFunc, 21);
    setState(gfx, RsStencilZFail, OpKeep);
    setState(gfx, RsStencilFail, OpKeep);
    setState(gfx, RsStencilRef, 129);
    setState(gfx, RsStencilMask, int(0xFFFFFFFFu));
    setState(gfx, RsColorWrite, 0);
    setState(gfx, RsStencilClear, 128);
    nVertexBuffer* vb = volumeHolder_.Begin(volumeIndices_.GetUnsafe(), shader_[PassB].GetUnsafe(), nullptr);
    int quads = 0;
    for (int e = 0; e < numEdges_; e++) {
        if (quads == quadsPerBatch_) {
            drawVolumes(gfx, quads, false);
            vb = volumeHolder_.GetBuffer();
            quads = 0;
        }
        const vector3& p0 = edges_[e][0];
        const vector3& p1 = edges_[e][1];
        const vector3 corners[4] = {p0, p1, p1 + ext, p0 + ext};
        float* c = vb->GetCoordPtr() + size_t(4 * quads) * size_t(vb->GetStride());
        for (const vector3& p : corners) {
            c[0] = p.x, c[1] = p.y, c[2] = p.z - ZOffset;
            c += vb->GetStride();
        }
        quads++;
    }
    drawVolumes(gfx, quads, true);

    gfx->PushMatrix(nGfxServer::PROJECTION);
    gfx->SetMatrix(nGfxServer::PROJECTION, identity);
    setState(gfx, RsStencilRef, 129);
    setState(gfx, RsStencilFunc, 17);
    setState(gfx, RsStencilPass, OpKeep);
    setState(gfx, RsColorWrite, 1);
    float r, g, b, a;
    GetShadowColor(r, g, b, a);
    const uint32_t color = effect::PackColor(gfx->GetColorFormat(), r, g, b, a);
    nVertexBuffer* quad = quadHolder_.Begin(quadIndices_.GetUnsafe(), shader_[ShadowPass].GetUnsafe(), nullptr);
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    float* c = quad->GetCoordPtr();
    uint32_t* rgba = quad->GetColorPtr();
    for (const auto& p : corners) {
        c[0] = p[0], c[1] = p[1], c[2] = 0.0f;
        *rgba = color;
        c += quad->GetStride(), rgba += quad->GetStride();
    }
    quadHolder_.End(4, 6);
    gfx->PopMatrix(nGfxServer::PROJECTION);
    setState(gfx, RsStencilEnable, 0);
    gfx->PopMatrix(nGfxServer::MODELVIEW);
}
