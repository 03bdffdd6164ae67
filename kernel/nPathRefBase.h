#pragma once
#include "kernel/nRefBase.h"
#include "kernel/nString.h"

class nClass;
class nRoot;

// A reference that holds an object path and resolves it through the kernel when first
// used, and again after its target has died. Every object reaches the servers this way.
// Optionally relative paths resolve from a given object (cwd object), and the target
// must be of a required class. Use the typed nPathRef<T> (kernel/nPathRef.h).
class nPathRefBase {
public:
    nPathRefBase() = default;
    explicit nPathRefBase(const char* path) { SetPath(path); }
    // A copy holds the same path, cwd object and class, and is unresolved.
    nPathRefBase(const nPathRefBase& other) { *this = other; }
    nPathRefBase& operator=(const nPathRefBase& other);
    ~nPathRefBase() = default;

    // Drops the target and stores a new path (null clears it).
    void SetPath(const char* path);
    // The stored path, null when none.
    const char* GetPath() const { return path_.IsEmpty() ? nullptr : path_.Get(); }
    // Relative paths resolve from `obj` (null: from the kernel's current object).
    void SetCwd(nRoot* obj);
    // The target must be of `cls` or a subclass (null: any class).
    void SetRequiredClass(nClass* cls) { requiredClass_ = cls; }

    // The target, resolving the path when unresolved; null when nothing is found.
    // A target of the wrong class stops the program ("Aborting\n").
    nRoot* Resolve();
    // As Resolve, but stops the program with "Aborting." when there is no target.
    nRoot* Get();
    nRoot* GetChecked() { return Get(); }
    // Resolves when unresolved; true when a target results.
    bool IsValid() { return Resolve() != nullptr; }
    // True when resolved now (never resolves).
    bool IsResolved() const { return ref_.IsValid(); }
    // Drops the target, keeping the path; the next use resolves again.
    void Invalidate() {
        ref_.Invalidate();
        missedAt_ = NoMiss;
    }

private:
    static constexpr uint64_t NoMiss = ~uint64_t(0);
    nRefBase ref_;
    // nRoot::GetNamesVersion when the path last named nothing: until it changes the path
    // still names nothing, and optional servers a frame asks for cost no lookup.
    uint64_t missedAt_ = NoMiss;
    nString path_;
    nRefBase cwd_;
    bool hasCwd_ = false;
    nClass* requiredClass_ = nullptr;
};
