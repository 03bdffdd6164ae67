#pragma once
#include <climits>
#include <cstdint>

// Key/value pairs kept in ascending key order, found by binary search behind a
// one-entry cache of the last hit. A key equal to existing keys is stored after them.
// Values are of any type (pointer-sized where pointers are kept). A growth at least
// doubles the room, so a table refilled every frame does not copy itself per grow step.
template <class T>
class nKeyArray {
public:
    struct Pair {
        uint32_t key = 0;
        T value{};
    };

    explicit nKeyArray(int initialCapacity = 0, int growBy = 16)
        : growBy_(growBy > 0 ? growBy : 1) {
        if (initialCapacity > 0) Grow(initialCapacity);
    }
    ~nKeyArray() { delete[] elements_; }
    nKeyArray(const nKeyArray&) = delete;
    nKeyArray& operator=(const nKeyArray&) = delete;

    void Add(uint32_t key, const T& value) {
        if (count_ == allocated_) {
            const int doubled = allocated_ > INT_MAX / 2 ? INT_MAX : 2 * allocated_;
            Grow(doubled > allocated_ + growBy_ ? doubled : allocated_ + growBy_);
        }
        // First position whose key is strictly greater: equal keys keep their order.
        int pos = UpperBound(key);
        for (int i = count_; i > pos; i--) elements_[i] = elements_[i - 1];
        elements_[pos].key = key;
        elements_[pos].value = value;
        count_++;
        lastHit_ = nullptr;
    }

    // The pair with `key` (any one of several equal ones), or null.
    Pair* Find(uint32_t key) {
        if (lastHit_ && lastHit_->key == key) return lastHit_;
        int pos = UpperBound(key) - 1;
        if (pos >= 0 && elements_[pos].key == key) {
            lastHit_ = &elements_[pos];
            return lastHit_;
        }
        return nullptr;
    }

    // Removes every pair with `key`; returns whether any was removed.
    bool Remove(uint32_t key) {
        int w = 0;
        for (int r = 0; r < count_; r++) {
            if (elements_[r].key != key) elements_[w++] = elements_[r];
        }
        bool removed = w != count_;
        count_ = w;
        lastHit_ = nullptr;
        return removed;
    }

    int Size() const { return count_; }
    uint32_t GetKeyAt(int i) const { return elements_[i].key; }
    T& GetElementAt(int i) { return elements_[i].value; }
    const T& GetElementAt(int i) const { return elements_[i].value; }
    void Clear() {
        count_ = 0;
        lastHit_ = nullptr;
    }

private:
    int UpperBound(uint32_t key) const {
        int lo = 0, hi = count_;
        while (lo < hi) {
            int mid = lo + (hi - lo) / 2;
            if (elements_[mid].key <= key)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }
    void Grow(int newCapacity) {
        Pair* block = new Pair[newCapacity];
        for (int i = 0; i < count_; i++) block[i] = elements_[i];
        delete[] elements_;
        elements_ = block;
        allocated_ = newCapacity;
        lastHit_ = nullptr;
    }

    int count_ = 0;
    int allocated_ = 0;
    int growBy_ = 16;
    Pair* lastHit_ = nullptr;
    Pair* elements_ = nullptr;
};
