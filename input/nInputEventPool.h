#pragma once
// The input server's store of events: blocks of records that are never freed
// before the pool dies, and a stack of the records' pointers with the number in
// use. Taking a record from a full pool adds a block as large as the pool, so it
// doubles; after warming up, taking and giving back allocate nothing.
#include <memory>
#include <vector>

#include "input/nInputEvent.h"

class nInputEventPool {
public:
    explicit nInputEventPool(int initialCapacity = 128);
    nInputEventPool(const nInputEventPool&) = delete;
    nInputEventPool& operator=(const nInputEventPool&) = delete;

    // A cleared record, never null.
    nInputEvent* Take();
    // Unlinks and clears the record and makes it free again.
    void Give(nInputEvent* event);

    int GetCapacity() const { return int(stack.size()); }
    int GetNumInUse() const { return inUse; }

private:
    void Grow(int records);

    std::vector<std::unique_ptr<nInputEvent[]>> blocks;
    std::vector<nInputEvent*> stack;
    int inUse = 0;
};
