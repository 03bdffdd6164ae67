#pragma once

#include "gfx/nVertexPool.h"
#include "kernel/nList.h"

class nGfxServer;

// The pools of one kind of memory, in 40 lists by component mask; hands out ranges
// and destroys a static or ordinary-memory pool when its last range comes back.
class nVertexPoolManager {
public:
    static constexpr int NumLists = 40;
    static constexpr int MinPoolCapacity = 2000;

    nVertexPoolManager(nGfxServer* gfx, int kind);
    // Destroys every pool it still holds.
    ~nVertexPoolManager();
    nVertexPoolManager(const nVertexPoolManager&) = delete;
    nVertexPoolManager& operator=(const nVertexPoolManager&) = delete;

    // A range from the oldest pool of the mask's list that has room, else from a new
    // pool of max(count, 2000) vertices appended to the list. Null (logged) for a mask
    // without coordinates or a count outside 1..65535; null when even the new pool
    // has no room (that pool stays listed).
    nVertexRange* Alloc(int components, int count);
    // Gives the range back to its pool; a pool left without used ranges goes.
    void Free(nVertexRange* range);

    int GetKind() const { return kind; }
    nList& GetList(int index) { return lists[index]; }

private:
    nGfxServer* gfx;
    int kind;
    nList lists[NumLists];
};
