#include "gfx/nVertexPool.h"

#include <cstdlib>
#include <cstring>

#include "kernel/nKernelServer.h"

namespace {

constexpr int BestStart = 1000000;
// Left-over vertices below this go with the allocation instead of staying free.
constexpr int SplitWaste = 16;

nVertexRange* rangeOf(nNode* n) { return n ? static_cast<nVertexRange*>(n->GetPtr()) : nullptr; }

}  // namespace

nVertexPool::nVertexPool(nGfxServer* server, nVertexPoolManager* mgr, int k, int comps, int cap)
    : manager(mgr), kind(k), components(comps), capacity(cap), stride(0), block(nullptr), ptrs{} {
    refGfx.Set(server);
}

void nVertexPool::freeList_(nList& list) {
    while (nNode* n = list.RemHead()) delete rangeOf(n);
}

nVertexPool::~nVertexPool() {
    node.Remove();
    if (nGfxServer* g = refGfx.GetUnsafe()) {
        for (nNode* n = usedList.GetHead(); n; n = n->GetSucc())
            if (g->GetCurrentRange() == rangeOf(n)) g->SetCurrentRange(nullptr);
    }
    freeList_(freeList);
    freeList_(usedList);
    std::free(block);
}

int nVertexPool::StrideBytes(int c) {
    int bytes = 0;
    if (c & N_VT_COORD) bytes += 12;
    if (c & N_VT_NORM) bytes += 12;
    if (c & N_VT_RGBA) bytes += 4;
    for (int bit = N_VT_UV0; bit <= N_VT_UV3; bit <<= 1)
        if (c & bit) bytes += 8;
    if (c & N_VT_JW) bytes += 32;
    return bytes;
}

int nVertexPool::ListIndex(int c) {
    const int g = ((c & N_VT_NORM) ? 1 : 0) + ((c & N_VT_RGBA) ? 2 : 0) + ((c & N_VT_JW) ? 4 : 0);
    int t = 0;
    if (c & N_VT_UV3) t = 4;
    else if (c & N_VT_UV2) t = 3;
    else if (c & N_VT_UV1) t = 2;
    else if (c & N_VT_UV0) t = 1;
    return 5 * g + t;
}

bool nVertexPool::Alloc() {
    if (capacity < 1 || capacity > MaxVertices || !(components & N_VT_COORD)) {
        n_error("nVertexPool::Alloc(): %d vertices of components 0x%x cannot be pooled\n", capacity, components);
        return false;
    }
    const int bytes = StrideBytes(components);
    stride = bytes / 4;
    std::free(block);
    block = static_cast<uint8_t*>(std::calloc(size_t(capacity), size_t(bytes)));
    if (!block) {
        n_error("nVertexPool::Alloc(): out of memory for %d vertices\n", capacity);
        return false;
    }
    auto* all = new nVertexRange;
    all->pool = this;
    all->first = 0;
    all->count = uint16_t(capacity);
    all->inUse = uint16_t(capacity);
    freeList.AddTail(&all->node);
    return true;
}

void nVertexPool::setPointers(uint8_t* base, bool withJw) {
    uint8_t* p = base;
    auto take = [&p](int bytes) {
        uint8_t* at = p;
        p += bytes;
        return at;
    };
    std::memset(ptrs, 0, sizeof(ptrs));
    if (components & N_VT_COORD) ptrs[COORD] = take(12);
    if (components & N_VT_NORM) ptrs[NORM] = take(12);
    if (components & N_VT_RGBA) ptrs[RGBA] = take(4);
    for (int i = 0; i < 4; ++i)
        if (components & (N_VT_UV0 << i)) ptrs[UV0 + i] = take(8);
    if (withJw && (components & N_VT_JW)) {
        ptrs[JW0] = take(16);
        ptrs[JW1] = take(16);
    }
}

bool nVertexPool::Lock(nVertexRange* range) {
    if (!range || !block) return false;
    setPointers(block + size_t(range->first) * size_t(stride) * 4, true);
    return true;
}

void nVertexPool::Unlock(nVertexRange*) { std::memset(ptrs, 0, sizeof(ptrs)); }

void nVertexPool::Render(nVertexRange*, nIndexBuffer*, nPixelShader*, nTexArray*) {}

nVertexRange* nVertexPool::bestFit(int count) {
    if (count < 1 || count > MaxVertices) return nullptr;
    nVertexRange* best = nullptr;
    int bestWaste = BestStart;
    for (nNode* n = freeList.GetHead(); n; n = n->GetSucc()) {
        nVertexRange* r = rangeOf(n);
        const int waste = int(r->count) - count;
        if (waste < 0) continue;
        if (waste < bestWaste) {
            best = r;
            bestWaste = waste;
        }
    }
    if (!best) return nullptr;
    nVertexRange* taken = best;
    if (bestWaste >= SplitWaste) {
        taken = new nVertexRange;
        taken->pool = this;
        taken->first = best->first;
        taken->count = uint16_t(count);
        taken->inUse = uint16_t(count);
        best->first = uint16_t(best->first + count);
        best->count = uint16_t(bestWaste);
        best->inUse = uint16_t(bestWaste);
    } else {
        best->node.Remove();
    }
    usedList.AddTail(&taken->node);
    return taken;
}

nVertexRange* nVertexPool::AllocRange(int count) { return bestFit(count); }

void nVertexPool::clearCurrentRange(nVertexRange* range) {
    nGfxServer* g = refGfx.GetUnsafe();
    if (g && g->GetCurrentRange() == range) g->SetCurrentRange(nullptr);
}

void nVertexPool::freeSorted(nVertexRange* range) {
    range->node.Remove();
    nVertexRange* after = nullptr;
    for (nNode* n = freeList.GetHead(); n; n = n->GetSucc()) {
        if (rangeOf(n)->first > range->first) {
            after = rangeOf(n);
            break;
        }
    }
    if (after) range->node.InsertBefore(&after->node);
    else freeList.AddTail(&range->node);

    if (nVertexRange* pred = rangeOf(range->node.GetPred()); pred && pred->first + pred->count == range->first) {
        range->first = pred->first;
        range->count = uint16_t(range->count + pred->count);
        delete pred;  // its node unlinks itself
    }
    if (nVertexRange* succ = rangeOf(range->node.GetSucc()); succ && range->first + range->count == succ->first) {
        range->count = uint16_t(range->count + succ->count);
        delete succ;
    }
    range->inUse = range->count;
}

void nVertexPool::FreeRange(nVertexRange* range) {
    if (!range || range->pool != this) return;
    clearCurrentRange(range);
    freeSorted(range);
}
