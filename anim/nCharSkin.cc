#include "anim/nCharSkin.h"

#include <algorithm>
#include <cstring>

#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPool.h"
#include "scene/nShadowCaster.h"
#include "scene/nShadowServer.h"

nCharSkin::~nCharSkin() {
    if (nShadowCaster* c = caster.GetUnsafe()) {
        caster.Set(nullptr);
        c->Release();
    }
}

bool nCharSkin::Prepare(nVertexBuffer* src, bool privateBuffer, nShadowCaster* sceneCaster, nShadowServer* shadow) {
    const int comps = src->GetComponents();
    if (!(comps & N_VT_COORD) || !(comps & N_VT_JW)) return false;
    if (comps == srcComponents_ && src->GetNumVertices() == srcCount_) return true;
    srcComponents_ = comps;
    srcCount_ = src->GetNumVertices();
    if (nShadowCaster* c = caster.GetUnsafe()) {
        caster.Set(nullptr);
        c->Release();
    }
    holder.SetPrivate(privateBuffer);
    holder.Create(comps & ~N_VT_JW, srcCount_);
    if (sceneCaster && shadow) {
        if (nShadowCaster* c = shadow->NewCaster(nullptr)) {
            c->SetLocked(true);
            sceneCaster->SetLocked(true);
            if (c->SetSize(sceneCaster->GetNumVertices(), sceneCaster->GetNumEdges()) && sceneCaster->GetNumEdges() > 0)
                std::memcpy(c->GetEdges(), sceneCaster->GetEdges(), size_t(sceneCaster->GetNumEdges()) * sizeof(nShadowEdge));
            sceneCaster->SetLocked(false);
            c->SetLocked(false);
            caster.Set(c);
        }
    }
    return true;
}

void nCharSkin::Skin(nVertexBuffer* src, const matrix44* const* joints, int numJoints, nIndexBuffer* indexBuffer,
                     nPixelShader* pixelShader, nTexArray* textures) {
    if (!src->Lock()) return;
    nVertexBuffer* dst = holder.Begin(indexBuffer, pixelShader, textures);
    nShadowCaster* c = caster.GetUnsafe();
    // The caster takes only as many positions as it has room for.
    float* coords = c && c->GetNumVertices() >= src->GetLockedCount() ? c->GetCoords() : nullptr;
    if (coords) c->SetLocked(true);
    Deform(src, joints, numJoints, dst, coords);
    if (coords) c->SetLocked(false);
    const bbox3& box = src->GetBoundingBox();
    const float d = (box.vmax - box.vmin).Len();
    dst->SetBoundingBox(bbox3(vector3(), vector3(2 * d, 2 * d, 2 * d)));
    const int count = src->GetLockedCount();
    src->Unlock();
    holder.End(count, indexBuffer ? indexBuffer->GetCapacity() : 0);
}

void nCharSkin::Deform(const nVertexBuffer* src, const matrix44* const* joints, int numJoints, nVertexBuffer* dst,
                       float* casterCoords) {
    const int n = std::min(src->GetLockedCount(), dst->GetLockedCount());
    const size_t ss = size_t(src->GetStride()), ds = size_t(dst->GetStride());
    const float* sc = src->GetCoordPtr();
    const float* sn = src->GetNormPtr();
    const float* sw = src->GetJointPtr(0);
    const float* sj = src->GetJointPtr(1);
    float* dc = dst->GetCoordPtr();
    float* dn = sn ? dst->GetNormPtr() : nullptr;
    const uint32_t* scol = src->GetColorPtr();
    uint32_t* dcol = scol ? dst->GetColorPtr() : nullptr;
    const float* suv[4];
    float* duv[4];
    int numUv = 0;
    for (int k = 0; k < 4; k++) {
        const float* s = src->GetUvPtr(k);
        float* d = s ? dst->GetUvPtr(k) : nullptr;
        if (s && d) {
            suv[numUv] = s;
            duv[numUv++] = d;
        }
    }
    if (!sc || !dc || !sw || !sj) return;
    for (int v = 0; v < n; v++) {
        const float* p = sc + size_t(v) * ss;
        const float* w = sw + size_t(v) * ss;
        int32_t idx[4];
        std::memcpy(idx, sj + size_t(v) * ss, sizeof idx);
        const float px = p[0], py = p[1], pz = p[2];
        float nx = 0, ny = 0, nz = 0;
        if (dn) {
            const float* q = sn + size_t(v) * ss;
            nx = q[0], ny = q[1], nz = q[2];
        }
        float ox = 0, oy = 0, oz = 0, mx = 0, my = 0, mz = 0;
        for (int k = 0; k < 4; k++) {
            const float wk = w[k];
            if (!(wk > 0.0f) || idx[k] < 0 || idx[k] >= numJoints) continue;
            const matrix44* s = joints[idx[k]];
            if (!s) continue;
            const float(*m)[4] = s->m;
            ox += wk * (px * m[0][0] + py * m[1][0] + pz * m[2][0] + m[3][0]);
            oy += wk * (px * m[0][1] + py * m[1][1] + pz * m[2][1] + m[3][1]);
            oz += wk * (px * m[0][2] + py * m[1][2] + pz * m[2][2] + m[3][2]);
            mx += wk * (nx * m[0][0] + ny * m[1][0] + nz * m[2][0]);
            my += wk * (nx * m[0][1] + ny * m[1][1] + nz * m[2][1]);
            mz += wk * (nx * m[0][2] + ny * m[1][2] + nz * m[2][2]);
        }
        float* o = dc + size_t(v) * ds;
        o[0] = ox, o[1] = oy, o[2] = oz;
        if (dn) {
            float* q = dn + size_t(v) * ds;
            q[0] = mx, q[1] = my, q[2] = mz;
        }
        if (casterCoords) {
            casterCoords[3 * v] = ox, casterCoords[3 * v + 1] = oy, casterCoords[3 * v + 2] = oz;
        }
        if (dcol) dcol[size_t(v) * ds] = scol[size_t(v) * ss];
        for (int k = 0; k < numUv; k++) std::memcpy(duv[k] + size_t(v) * ds, suv[k] + size_t(v) * ss, 8);
    }
}
