#pragma once
#include "kernel/nRefBase.h"

// Typed reference to a tree object, cleared when the object dies (kernel/nRefBase.h).
// Reading it (Get, GetUnsafe) works with a forward-declared T, so headers can hand out
// the target inline; setting it needs T complete.
template <class T = nRoot>
class nRef : private nRefBase {
public:
    nRef() = default;
    nRef(T* target) { Set(target); }
    nRef& operator=(T* target) {
        Set(target);
        return *this;
    }

    void Set(T* target) {
        typed_ = target;
        nRefBase::Set(static_cast<nRoot*>(target));
    }
    // The target; "Aborting." when unset.
    T* Get() const {
        nRefBase::Get();
        return typed_;
    }
    // The target or null.
    T* GetUnsafe() const { return nRefBase::IsValid() ? typed_ : nullptr; }
    T* operator->() const { return Get(); }
    explicit operator bool() const { return IsValid(); }

    using nRefBase::Invalidate;
    using nRefBase::IsValid;

private:
    // Valid only while the base reference is set: the target clears the base, never this.
    T* typed_ = nullptr;
};
