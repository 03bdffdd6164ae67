#include "gfx/nPrimitiveBuilder.h"

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShader.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPool.h"
#include "kernel/nKernelServer.h"

namespace {
constexpr int Components = N_VT_COORD | N_VT_NORM | N_VT_RGBA | N_VT_UV0;
}

nPrimitiveBuilder::nPrimitiveBuilder() {
    desc.lightEnable = false;
    desc.fogEnable = false;
    desc.cullMode = nPixelShaderDesc::CULL_NONE;
    desc.SetAllChanged();
}

nPrimitiveBuilder::~nPrimitiveBuilder() {
    if (vb) holder.End(0, 0);
    if (nPixelShader* ps = refShader.GetUnsafe()) {
        // The description dies with the builder.
        ps->SetShaderDesc(nullptr);
        refShader.Set(nullptr);
        ps->Release();
    }
    if (nIndexBuffer* ib = refIndices.GetUnsafe()) {
        refIndices.Set(nullptr);
        ib->Release();
    }
}

void nPrimitiveBuilder::Begin(nGfxServer* gfx, int primitive) {
    if (vb) End();
    if (!refShader.IsValid()) {
        nPixelShader* ps = gfx->FindPixelShader("prim_pizel_slader");
        if (!ps) ps = gfx->NewPixelShader("prim_pizel_slader");
        else ps->AddRef();
        if (ps) {
            ps->SetShaderDesc(&desc);
            desc.SetAllChanged();
        }
        refShader.Set(ps);
    }
    nIndexBuffer* ib = refIndices.GetUnsafe();
    if (!ib) {
        ib = gfx->FindIndexBuffer("primitive_gfx");
        if (!ib) ib = gfx->NewIndexBuffer("primitive_gfx");
        else ib->AddRef();
        refIndices.Set(ib);
    }
    if (!ib) return;
    if (ib->GetType() != primitive || ib->GetCapacity() != BatchVertices) {
        ib->Begin(0, primitive, BatchVertices);
        for (int i = 0; i < BatchVertices; ++i) ib->GetLockPtr()[i] = uint16_t(i);
        ib->End();
    }
    if (!holderMade) {
        holder.Create(Components, BatchVertices);
        holderMade = true;
    }
    type = primitive;
    count = 0;
    total = 0;
    vb = holder.Begin(ib, refShader.GetUnsafe(), nullptr);
}

void nPrimitiveBuilder::Norm(float x, float y, float z) {
    pending.norm[0] = x;
    pending.norm[1] = y;
    pending.norm[2] = z;
}

void nPrimitiveBuilder::Uv(float u, float v) {
    pending.uv[0] = u;
    pending.uv[1] = v;
}

void nPrimitiveBuilder::Coord(float x, float y, float z) {
    if (!vb) return;
    // Normal and texture coordinate always take their defaults here.
    Vertex v{{x, y, z}, {0.0f, 0.0f, -1.0f}, color, {1.0f, 1.0f}};
    if (count == BatchVertices) flush();
    put(v);
    if (total == 0) first = v;
    last[0] = last[1];
    last[1] = v;
    ++total;
}

void nPrimitiveBuilder::put(const Vertex& v) {
    const int stride = vb->GetStride();
    float* c = vb->GetCoordPtr() + count * stride;
    c[0] = v.pos[0];
    c[1] = v.pos[1];
    c[2] = v.pos[2];
    float* n = vb->GetNormPtr() + count * stride;
    n[0] = v.norm[0];
    n[1] = v.norm[1];
    n[2] = v.norm[2];
    vb->GetColorPtr()[count * stride] = v.color;
    float* t = vb->GetUvPtr(0) + count * stride;
    t[0] = v.uv[0];
    t[1] = v.uv[1];
    ++count;
}

void nPrimitiveBuilder::flush() {
    vb = holder.Swap(count, count);
    ++batches;
    count = 0;
    // What the next batch continues from.
    switch (type) {
    case nIndexBuffer::LINESTRIP: put(last[1]); break;
    case nIndexBuffer::TRIANGLESTRIP:
        put(last[0]);
        put(last[1]);
        break;
    case nIndexBuffer::TRIANGLEFAN:
        put(first);
        put(last[1]);
        break;
    default: break;
    }
}

void nPrimitiveBuilder::End() {
    if (!vb) return;
    holder.End(count, count);
    if (count > 0) ++batches;
    vb = nullptr;
    count = 0;
}
