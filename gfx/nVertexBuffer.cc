#include "gfx/nVertexBuffer.h"

#include <cstring>

#include "gfx/nVertexPoolManager.h"

const nClassInfo nVertexBuffer::classInfo = nClassInfo::Make<nVertexBuffer>("nvertexbuffer", "nroot");

nVertexBuffer::nVertexBuffer() : range(nullptr), lockCount(0), numVertices(0), ptrs{}, lockedCount(0), lockedStride(0) {}

nVertexBuffer::~nVertexBuffer() {
    if (range) {
        while (lockCount > 0) Unlock();
        nVertexRange* r = range;
        range = nullptr;
        if (nVertexPoolManager* manager = r->pool->GetManager()) manager->Free(r);
        else r->pool->FreeRange(r);
    }
}

void nVertexBuffer::SetRange(nVertexRange* r, nGfxServer* gfx, int count) {
    refGfx.Set(gfx);
    range = r;
    numVertices = count != 0 ? count : (r ? r->count : 0);
}

bool nVertexBuffer::Lock() {
    if (!range || !range->pool->Lock(range)) return false;
    nVertexPool* pool = range->pool;
    for (int i = 0; i < nVertexPool::NumComponents; ++i) ptrs[i] = pool->GetComponentPtr(i);
    lockedCount = numVertices;
    lockedStride = pool->GetStride();
    ++lockCount;
    return true;
}

void nVertexBuffer::Unlock() {
    if (lockCount <= 0) return;
    if (range) range->pool->Unlock(range);
    --lockCount;
    std::memset(ptrs, 0, sizeof(ptrs));
    lockedCount = 0;
    lockedStride = 0;
}

bool nVertexBuffer::IsColorArgb() const {
    nGfxServer* gfx = refGfx.GetUnsafe();
    return gfx && gfx->GetColorFormat() == nGfxServer::BGRA;
}
