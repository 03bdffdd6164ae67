#pragma once
#include <climits>
#include <utility>

// Growable array of constructed elements. `At` past the end grows the array and extends
// the count, leaving the new slots default-constructed. Growing copies elements with
// their own copy operation (so references re-set their paths, texts are duplicated).
// A growth adds at least the grow step and at least doubles the room, so filling an
// array one element at a time copies each element a bounded number of times however
// small the step.
template <class T>
class nArray {
public:
    explicit nArray(int initialCapacity = 0, int growBy = 16)
        : growBy_(growBy > 0 ? growBy : 1) {
        if (initialCapacity > 0) Grow(initialCapacity);
    }
    nArray(const nArray& other) : growBy_(other.growBy_) { *this = other; }
    nArray(nArray&& other) noexcept { Swap(other); }
    ~nArray() { delete[] elements_; }

    nArray& operator=(const nArray& other) {
        if (this == &other) return *this;
        Clear();
        growBy_ = other.growBy_;
        if (other.count_ > allocated_) Grow(other.count_);
        for (int i = 0; i < other.count_; i++) elements_[i] = other.elements_[i];
        count_ = other.count_;
        return *this;
    }
    nArray& operator=(nArray&& other) noexcept {
        nArray tmp(std::move(other));
        Swap(tmp);
        return *this;
    }

    // Appends a copy of `element` and returns the stored element.
    T& Append(const T& element) {
        if (count_ == allocated_) Grow(grownCapacity(allocated_ + growBy_));
        elements_[count_] = element;
        return elements_[count_++];
    }

    // The element at `index`; an index past the end grows the array to hold it.
    // A negative index is a programming error and yields element 0 of a grown array.
    T& At(int index) {
        if (index < 0) index = 0;
        if (index >= count_) {
            if (index >= allocated_) Grow(grownCapacity(index + growBy_));
            count_ = index + 1;
        }
        return elements_[index];
    }

    T& operator[](int index) { return elements_[index]; }
    const T& operator[](int index) const { return elements_[index]; }

    int Size() const { return count_; }
    int Capacity() const { return allocated_; }
    // Makes room for `capacity` elements at once, so that filling a large array does not
    // copy it again every growBy elements.
    void Reserve(int capacity) {
        if (capacity > allocated_) Grow(capacity);
    }
    bool Empty() const { return count_ == 0; }

    // Removes the element at `index`, moving the later ones down.
    void Erase(int index) {
        if (index < 0 || index >= count_) return;
        for (int i = index; i < count_ - 1; i++) elements_[i] = std::move(elements_[i + 1]);
        elements_[count_ - 1] = T();
        count_--;
    }

    // Resets every used slot and sets the count to 0; the capacity stays.
    void Clear() {
        for (int i = 0; i < count_; i++) elements_[i] = T();
        count_ = 0;
    }

    T* begin() { return elements_; }
    T* end() { return elements_ + count_; }
    const T* begin() const { return elements_; }
    const T* end() const { return elements_ + count_; }

private:
    // The room for a growth that needs `wanted`: never less than twice the present room.
    int grownCapacity(int wanted) const {
        const int doubled = allocated_ > INT_MAX / 2 ? INT_MAX : 2 * allocated_;
        return doubled > wanted ? doubled : wanted;
    }
    void Grow(int newCapacity) {
        T* block = new T[newCapacity];
        for (int i = 0; i < count_; i++) block[i] = elements_[i];
        delete[] elements_;
        elements_ = block;
        allocated_ = newCapacity;
    }
    void Swap(nArray& o) noexcept {
        std::swap(growBy_, o.growBy_);
        std::swap(allocated_, o.allocated_);
        std::swap(count_, o.count_);
        std::swap(elements_, o.elements_);
    }

    int growBy_ = 16;
    int allocated_ = 0;
    int count_ = 0;
    T* elements_ = nullptr;
};
