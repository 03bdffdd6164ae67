#include "gfx/nVertexPoolManager.h"

#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"

nVertexPoolManager::nVertexPoolManager(nGfxServer* server, int k) : gfx(server), kind(k) {}

nVertexPoolManager::~nVertexPoolManager() {
    for (nList& list : lists) {
        while (nNode* n = list.GetHead()) delete static_cast<nVertexPool*>(n->GetPtr());
    }
}

nVertexRange* nVertexPoolManager::Alloc(int components, int count) {
    if (!(components & N_VT_COORD) || (components & ~0xFF)) {
        n_error("nVertexPoolManager::Alloc(): component mask 0x%x has no coordinates or unknown bits\n", components);
        return nullptr;
    }
    // A dynamic pool hands its whole buffer to any count up to its size, 0 included.
    const int least = kind == nVertexPool::DYNAMIC ? 0 : 1;
    if (count < least || count > nVertexPool::MaxVertices) {
        n_error("nVertexPoolManager::Alloc(): %d vertices asked for (%d to %d work)\n", count, least,
                nVertexPool::MaxVertices);
        return nullptr;
    }
    nList& list = lists[nVertexPool::ListIndex(components)];
    for (nNode* n = list.GetHead(); n; n = n->GetSucc()) {
        auto* pool = static_cast<nVertexPool*>(n->GetPtr());
        if (pool->GetComponents() != components) continue;
        if (nVertexRange* range = pool->AllocRange(count)) return range;
    }
    const int capacity = count >= MinPoolCapacity ? count : MinPoolCapacity;
    nVertexPool* pool = gfx ? gfx->NewVertexPool(this, kind, components, capacity) : nullptr;
    if (!pool) return nullptr;
    list.AddTail(&pool->GetNode());
    return pool->AllocRange(count);
}

void nVertexPoolManager::Free(nVertexRange* range) {
    if (!range || !range->pool) return;
    nVertexPool* pool = range->pool;
    pool->FreeRange(range);
    if (pool->GetUsedList().IsEmpty()) delete pool;
}
