#pragma once
#include <cstddef>

#include "kernel/nNamedNode.h"
#include "kernel/nRefBase.h"

class nRoot;

// A reference that keeps its target's path until it is first resolved; from then on it
// is a plain reference (cleared when the target dies). The path entry is a named list
// node whose user pointer is the reference, so pending references can be listed.
class nNamedRef {
public:
    nNamedRef() : pathEntry_(nullptr, this) {}
    explicit nNamedRef(const char* path) : pathEntry_(path, this) {}
    nNamedRef(const nNamedRef&) = delete;
    nNamedRef& operator=(const nNamedRef&) = delete;

    // Drops the target and stores the path to resolve.
    void SetPath(const char* path);
    // Points the reference at `obj` directly, dropping any stored path.
    void Set(nRoot* obj);
    // Resolves a stored path; the target or null.
    nRoot* Resolve();
    // The target's full path when resolved, else the stored path; cut to fit `size`
    // and always terminated.
    char* GetPath(char* buf, size_t size) const;
    bool IsResolved() const { return ref_.IsValid(); }
    nRoot* GetUnsafe() const { return ref_.GetUnsafe(); }
    nNamedNode* GetPathEntry() { return &pathEntry_; }

private:
    nRefBase ref_;
    nNamedNode pathEntry_;
};
