#pragma once
// The object-model baseline of the logic benchmarks: a tree of objects made one by one in
// tree order, each in a block the size of the engine class it stands for, linked through
// first-child/next-sibling pointers and served by virtual calls. The classes have external
// linkage and the files that use them build with -fno-devirtualize-speculatively, so each
// call stays a real indirect call, as it is for the engine's script-visible objects.
#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

namespace bench {

class TreeObject {
public:
    virtual ~TreeObject() = default;
    TreeObject* firstChild = nullptr;
    TreeObject* nextSibling = nullptr;
    TreeObject* lastChild = nullptr;
    void AddChild(TreeObject* child) {
        if (lastChild) lastChild->nextSibling = child;
        else firstChild = child;
        lastChild = child;
    }
};

// Owns the blocks; an object is made in a block of at least `size` bytes, so that the
// next one lands where the engine's allocation of that class would put it.
class ObjectHeap {
public:
    ObjectHeap() = default;
    ObjectHeap(const ObjectHeap&) = delete;
    ObjectHeap& operator=(const ObjectHeap&) = delete;
    ~ObjectHeap() {
        for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) it->destroy(it->block);
    }
    template <class T>
    T* New(size_t size) {
        void* block = ::operator new(std::max(size, sizeof(T)));
        T* obj = new (block) T;
        objects_.push_back({block, [](void* b) {
                                static_cast<T*>(b)->~T();
                                ::operator delete(b);
                            }});
        return obj;
    }

private:
    struct Owned {
        void* block;
        void (*destroy)(void*);
    };
    std::vector<Owned> objects_;
};

}  // namespace bench
