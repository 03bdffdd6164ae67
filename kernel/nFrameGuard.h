#pragma once
// Marks an object as running its frame for as long as the guard lives (guards nest),
// as nScriptServer::RunningGuard marks a running interpreter. A release of the marked
// object, or of an object above it, that would free it unlinks the released object from
// the tree at once, so lookups miss it from then on, and frees it when the last guard it
// holds has ended: code still running on the object never reads freed memory.
class nRoot;

class nFrameGuard {
public:
    // A null object marks nothing.
    explicit nFrameGuard(nRoot* obj);
    ~nFrameGuard();
    nFrameGuard(const nFrameGuard&) = delete;
    nFrameGuard& operator=(const nFrameGuard&) = delete;

    // True when `obj` or an object below it is running its frame now.
    static bool HoldsRunningFrame(const nRoot* obj);
    // True once `obj` was released while running its frame: it is out of the tree and is
    // freed when its frame returns.
    static bool IsReleasePending(const nRoot* obj);
    // Called by nRoot::Release when the count reached 0: true when the object holds a
    // running frame and its freeing was put off (it is unlinked now).
    static bool DeferRelease(nRoot* obj);

private:
    nRoot* obj_;
};
