#pragma once
// A mesh that a morphing, mixing or waving node reads every frame: a visual node found by
// path relative to the reading node, computed into the current scene node, whose vertex
// buffer is then taken back out of the record. Failures are logged once per source
// until its path changes, and the reader skips the source.
#include "kernel/nPathRef.h"

class nSceneGraph2;
class nVertexBuffer;
class nVisNode;

class MeshSource {
public:
    MeshSource() = default;
    // A copy names the same path and resolves again.
    MeshSource(const MeshSource& other) { SetPath(other.GetPath()); }
    MeshSource& operator=(const MeshSource& other) {
        if (this != &other) SetPath(other.GetPath());
        return *this;
    }

    void SetPath(const char* path);
    // "" when none.
    const char* GetPath() const { return ref_.GetPath() ? ref_.GetPath() : ""; }
    bool IsSet() const { return ref_.GetPath() != nullptr; }

    // The visual node at the path, relative to `owner`; null (logged once) when there is
    // none or it is no visual node.
    nVisNode* Resolve(nVisNode* owner);
    // Computes the source with the scene graph's current record and takes the vertex
    // buffer it left in the record's mesh field, which is cleared; null (logged once)
    // when the source does not resolve or leaves no buffer.
    nVertexBuffer* Take(nVisNode* owner, nSceneGraph2* sceneGraph);

    // Logs what is wrong with the source, naming the owner and the path, once until the
    // path changes.
    void LogOnce(nVisNode* owner, const char* what);

private:
    nPathRef<nRoot> ref_;
    bool logged_ = false;
};
