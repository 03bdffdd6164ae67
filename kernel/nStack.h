#pragma once
#include "kernel/nList.h"

// A stack of values kept as list nodes; the top is the list head. Popping an empty
// stack gives a value-initialised T (null for pointers).
template <class T>
class nStack {
public:
    nStack() = default;
    ~nStack() { Clear(); }
    nStack(const nStack&) = delete;
    nStack& operator=(const nStack&) = delete;

    void Push(const T& value) { list_.AddHead(new Item(value)); }
    T Pop() {
        Item* item = static_cast<Item*>(list_.RemHead());
        if (!item) return T{};
        T value = item->value;
        delete item;
        return value;
    }
    // The top value without popping it; value-initialised T when empty.
    T Top() const {
        Item* item = static_cast<Item*>(list_.GetHead());
        return item ? item->value : T{};
    }
    bool IsEmpty() const { return list_.IsEmpty(); }
    void Clear() {
        while (nNode* n = list_.RemHead()) delete static_cast<Item*>(n);
    }

private:
    struct Item : nNode {
        explicit Item(const T& v) : value(v) {}
        T value;
    };
    nList list_;
};
