#include "gfx/nVertexBufferHolder.h"

#include <algorithm>

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "kernel/nKernelServer.h"

nVertexBufferHolder::nVertexBufferHolder()
    : refGfx("/sys/servers/gfx"), indexBuffer(nullptr), pixelShader(nullptr), textureArray(nullptr), inBegin(false),
      privateBuffer(false), components(0), count(0) {}

nVertexBufferHolder::~nVertexBufferHolder() {
    nVertexBuffer* vb = buffer.GetUnsafe();
    if (vb && vb->IsLocked()) vb->Unlock();
    if (vb && privateBuffer) {
        buffer.Set(nullptr);
        vb->Release();
    }
}

nVertexBuffer* nVertexBufferHolder::fetch() {
    nGfxServer* gfx = refGfx.Get();
    nVertexBuffer* vb = privateBuffer ? gfx->NewVertexBuffer(nullptr, 1, components, count)
                                      : gfx->NewDynamicVertexBuffer(components, count);
    buffer.Set(vb);
    return vb;
}

void nVertexBufferHolder::Create(int comps, int n) {
    components = comps;
    count = n;
    if (privateBuffer && buffer.GetUnsafe()) buffer->Release();
    fetch();
}

nVertexBuffer* nVertexBufferHolder::Begin(nIndexBuffer* ib, nPixelShader* ps, nTexArray* ta) {
    nVertexBuffer* vb = privateBuffer ? buffer.GetUnsafe() : nullptr;
    if (!vb) vb = fetch();
    if (!vb) nKernelServer::FatalError("Aborting.");
    indexBuffer = ib;
    pixelShader = ps;
    textureArray = ta;
    if (!vb->Lock()) nKernelServer::FatalError("Aborting.");
    inBegin = true;
    return vb;
}

void nVertexBufferHolder::draw(int vertexCount, int indexCount, nPixelShader* ps, nTexArray* ta) {
    nVertexBuffer* vb = buffer.GetUnsafe();
    nVertexRange* range = vb ? vb->GetRange() : nullptr;
    if (privateBuffer || vertexCount <= 0 || indexCount <= 0 || !range || !indexBuffer) return;
    // Counts beyond what the buffers hold are cut to them.
    range->inUse = uint16_t(std::min(vertexCount, int(range->count)));
    indexBuffer->SetUsedCount(std::min(indexCount, indexBuffer->GetCapacity()));
    range->pool->Render(range, indexBuffer, ps, ta);
    indexBuffer->SetUsedCount(indexBuffer->GetCapacity());
    range->inUse = range->count;
    if (nGfxServer* gfx = refGfx.Resolve()) gfx->DynamicVertexBufferDone(vb);
}

void nVertexBufferHolder::End(int vertexCount, int indexCount) {
    if (nVertexBuffer* vb = buffer.GetUnsafe(); vb && vb->IsLocked()) vb->Unlock();
    draw(vertexCount, indexCount, pixelShader, textureArray);
    indexBuffer = nullptr;
    pixelShader = nullptr;
    textureArray = nullptr;
    inBegin = false;
}

nVertexBuffer* nVertexBufferHolder::Swap(int vertexCount, int indexCount) {
    nVertexBuffer* vb = buffer.GetUnsafe();
    if (vb && vb->IsLocked()) vb->Unlock();
    if (privateBuffer) return vb;
    draw(vertexCount, indexCount, pixelShader, textureArray);
    vb = fetch();
    if (!vb || !vb->Lock()) nKernelServer::FatalError("Aborting.");
    return vb;
}

void nVertexBufferHolder::Flush(int vertexCount, int indexCount, nPixelShader* ps, nTexArray* ta) {
    nVertexBuffer* vb = buffer.GetUnsafe();
    if (!vb) return;
    if (vb->IsLocked()) vb->Unlock();
    draw(vertexCount, indexCount, ps, ta);
    // The caller goes on writing into the same buffer.
    if (!vb->Lock()) nKernelServer::FatalError("Aborting.");
}

nVertexBuffer* nVertexBufferHolder::LockBuffer() {
    nVertexBuffer* vb = buffer.GetUnsafe();
    return vb && vb->Lock() ? vb : nullptr;
}

void nVertexBufferHolder::UnlockBuffer() {
    if (nVertexBuffer* vb = buffer.GetUnsafe()) vb->Unlock();
}
