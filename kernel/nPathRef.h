#pragma once
#include <type_traits>

#include "kernel/nKernelServer.h"
#include "kernel/nPathRefBase.h"
#include "kernel/nRoot.h"

// Typed path reference: a member `nPathRef<nGfxServer> refGfx` set to
// "/sys/servers/gfx" reaches the graphics server through refGfx->... .
// A target that is not of T's registered class stops the program ("Aborting\n").
template <class T = nRoot>
class nPathRef : public nPathRefBase {
public:
    nPathRef() = default;
    explicit nPathRef(const char* path) : nPathRefBase(path) {}

    T* Resolve() {
        bool fresh = !IsResolved();
        nRoot* obj = nPathRefBase::Resolve();
        if constexpr (requires { T::classInfo.name; }) {
            if constexpr (!std::is_same_v<T, nRoot>) {
                // Checked once per resolution; a cached target is known to fit.
                if (fresh && obj && !obj->IsA(T::classInfo.name)) nKernelServer::FatalError("Aborting\n");
            }
        }
        return static_cast<T*>(obj);
    }
    // The target; "Aborting." when nothing is found.
    T* Get() {
        T* obj = Resolve();
        if (!obj) nKernelServer::FatalError("Aborting.");
        return obj;
    }
    T* GetChecked() { return Get(); }
    T* operator->() { return Get(); }
    bool IsValid() { return Resolve() != nullptr; }
};
