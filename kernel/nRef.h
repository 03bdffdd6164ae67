#pragma once
#include "kernel/nRefBase.h"

// Typed reference to a tree object, cleared when the object dies (kernel/nRefBase.h).
template <class T = nRoot>
class nRef : public nRefBase {
public:
    nRef() = default;
    nRef(T* target) : nRefBase(ToRoot(target)) {}
    nRef& operator=(T* target) {
        Set(target);
        return *this;
    }

    void Set(T* target) { nRefBase::Set(ToRoot(target)); }
    // The target; "Aborting." when unset.
    T* Get() const { return FromRoot(nRefBase::Get()); }
    T* GetUnsafe() const { return FromRoot(nRefBase::GetUnsafe()); }
    T* operator->() const { return Get(); }
    explicit operator bool() const { return IsValid(); }

private:
    // The casts need T complete only where they are used, so members may be declared
    // with forward-declared T.
    static nRoot* ToRoot(T* p) { return static_cast<nRoot*>(p); }
    static T* FromRoot(nRoot* p) { return static_cast<T*>(p); }
};
