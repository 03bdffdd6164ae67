#pragma once

#include <cstdint>

#include "gfx/nGfxServer.h"
#include "kernel/nList.h"
#include "kernel/nNode.h"
#include "kernel/nRef.h"

class nIndexBuffer;
class nPixelShader;
class nTexArray;
class nVertexPool;
class nVertexPoolManager;

// Vertex component bits: the mask decides layout, stride and pool list.
enum nVertexComponent : int {
    N_VT_COORD = 1 << 0,
    N_VT_NORM = 1 << 1,
    N_VT_RGBA = 1 << 2,
    N_VT_UV0 = 1 << 3,
    N_VT_UV1 = 1 << 4,
    N_VT_UV2 = 1 << 5,
    N_VT_UV3 = 1 << 6,
    // A 32-byte block of two 4-float fields (joint weights and indices for skins).
    N_VT_JW = 1 << 7,
};

// One allocation of a pool: a run of vertices, listed in its pool's free or used list.
struct nVertexRange {
    nNode node{this};
    nVertexPool* pool = nullptr;
    uint16_t first = 0;
    uint16_t count = 0;
    // A drawer lowers it to the vertices written and restores the count afterwards.
    uint16_t inUse = 0;
};

// A block of vertices of one component mask, cut into ranges by a best-fit allocator.
// This base keeps the vertices in ordinary memory and cannot draw; nD3D8VertexPool
// keeps them in a device buffer. Storage comes only with Alloc.
class nVertexPool {
public:
    enum Kind { STATIC = 0, SYSMEM = 1, DYNAMIC = 2 };
    // Ranges and indices are 16-bit.
    static constexpr int MaxVertices = 65535;
    // Pointers Lock fills, in this order.
    enum Component { COORD, NORM, RGBA, UV0, UV1, UV2, UV3, JW0, JW1, NumComponents };

    nVertexPool(nGfxServer* gfx, nVertexPoolManager* manager, int kind, int components, int capacity);
    virtual ~nVertexPool();
    nVertexPool(const nVertexPool&) = delete;
    nVertexPool& operator=(const nVertexPool&) = delete;

    // Builds the storage and one free range over every vertex.
    virtual bool Alloc();
    virtual bool Lock(nVertexRange* range);
    virtual void Unlock(nVertexRange* range);
    virtual void Render(nVertexRange* range, nIndexBuffer* indexBuffer, nPixelShader* pixelShader,
                        nTexArray* textureArray);
    // Null when no free range is large enough (or count is out of bounds).
    virtual nVertexRange* AllocRange(int count);
    virtual void FreeRange(nVertexRange* range);
    virtual bool IsDevicePool() const { return false; }

    // Bytes of one vertex for a mask in ordinary memory (bit 7 counts 32).
    static int StrideBytes(int components);
    // Index of the manager's list that holds pools of this mask.
    static int ListIndex(int components);

    nNode& GetNode() { return node; }
    nVertexPoolManager* GetManager() const { return manager; }
    int GetKind() const { return kind; }
    int GetComponents() const { return components; }
    int GetCapacity() const { return capacity; }
    int GetStride() const { return stride; }
    nList& GetFreeList() { return freeList; }
    nList& GetUsedList() { return usedList; }
    void* GetComponentPtr(int c) const { return ptrs[c]; }

protected:
    // Best fit over the free list (the first of equal fits wins); splits off the front
    // when at least 16 vertices would be left over.
    nVertexRange* bestFit(int count);
    // Back into the sorted free list, merged with the neighbours it touches.
    void freeSorted(nVertexRange* range);
    void clearCurrentRange(nVertexRange* range);
    // Lays the component pointers out from `base`, each present component after the
    // previous one; `withJw` counts bit 7's block.
    void setPointers(uint8_t* base, bool withJw);
    static void freeList_(nList& list);

    nNode node{this};
    nVertexPoolManager* manager;
    nRef<nGfxServer> refGfx;
    int kind;
    int components;
    int capacity;
    int stride;  // in 32-bit words
    nList freeList;
    nList usedList;
    uint8_t* block;
    void* ptrs[NumComponents];
};
