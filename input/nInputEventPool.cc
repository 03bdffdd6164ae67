#include "input/nInputEventPool.h"

nInputEventPool::nInputEventPool(int initialCapacity) {
    Grow(initialCapacity > 0 ? initialCapacity : 1);
}

void nInputEventPool::Grow(int records) {
    blocks.push_back(std::make_unique<nInputEvent[]>(size_t(records)));
    nInputEvent* block = blocks.back().get();
    // The records in use sit below inUse; the new free ones go above them.
    for (int i = 0; i < records; i++) stack.push_back(&block[i]);
}

nInputEvent* nInputEventPool::Take() {
    if (inUse == int(stack.size())) Grow(int(stack.size()));
    nInputEvent* event = stack[size_t(inUse++)];
    event->Clear();
    return event;
}

void nInputEventPool::Give(nInputEvent* event) {
    if (!event || inUse == 0) return;
    event->Clear();
    stack[size_t(--inUse)] = event;
}
