#pragma once
#include <atomic>
#include <cstdint>

#include "kernel/nNode.h"

class nRoot;

// A pointer to a tree object that the object clears when it dies. It never keeps its
// target alive. Use the typed nRef<T> (kernel/nRef.h).
class nRefBase {
public:
    nRefBase() : link_(this) {}
    explicit nRefBase(nRoot* target) : link_(this) { Set(target); }
    nRefBase(const nRefBase& other) : link_(this) { Set(other.target_); }
    nRefBase& operator=(const nRefBase& other) {
        if (this != &other) Set(other.target_);
        return *this;
    }
    ~nRefBase() { Set(nullptr); }

    // Points the reference at `target` (null clears it).
    void Set(nRoot* target);
    // The target; stops the program with "Aborting." when the reference is unset.
    nRoot* Get() const;
    // The target or null, never fatal.
    nRoot* GetUnsafe() const { return target_; }
    bool IsValid() const { return target_ != nullptr; }
    void Invalidate() { Set(nullptr); }
    // Counts references cleared by a dying target, ever. Holders caching a target's raw
    // pointer apart from its reference may trust the copy while this count is unchanged.
    static uint64_t ClearCount() { return clears_.load(std::memory_order_relaxed); }

private:
    friend class nRoot;
    // Called by the dying target.
    void Clear() {
        clears_.fetch_add(1, std::memory_order_relaxed);
        link_.Remove();
        target_ = nullptr;
    }

    nNode link_;
    nRoot* target_ = nullptr;
    static inline std::atomic<uint64_t> clears_{0};
};
