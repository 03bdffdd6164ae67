#pragma once
// A mesh loaded from a ".n3d" or ".nvx" file (script class "nmeshnode") into a vertex
// buffer, an index buffer and, when the file has edges, a shadow caster, all shared by
// name (file name + "_ro" or "_rw"). It enters the mesh into the current scene node so
// the scene graph draws it; a read-only mesh is only a source for other nodes.
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nString.h"
#include "scene/nVisNode.h"

class nIndexBuffer;
class nShadowCaster;
class nShadowServer;
class nVertexBuffer;

class nMeshNode : public nVisNode {
public:
    static const nClassInfo classInfo;

    nMeshNode();
    // Releases the held buffers and caster.
    ~nMeshNode() override;

    bool SaveCmds(nPersistServer* ps) override;
    // Attaches the children; a mesh that is not read-only becomes the current scene
    // node's mesh.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Puts the vertex buffer, index buffer and (cast shadow on) the caster into the
    // current scene node, loading the mesh first. A mesh that cannot load is logged once
    // and draws nothing until the file name or read-only flag changes.
    void Compute(nSceneGraph2* sceneGraph) override;
    void Preload() override;
    // The vertex buffer, loading the mesh when there is none; null when it cannot load.
    nVertexBuffer* GetVertexBuffer() override;

    // Releases what the node holds; the mesh loads again on next use.
    void SetFileName(const char* name);
    const char* GetFileName() const { return fileName_.IsEmpty() ? "" : fileName_.Get(); }
    // The flag selects other shared buffers ("_ro" in ordinary memory, "_rw" on the
    // device): a change releases what the node holds, like a new file name.
    void SetReadOnly(bool on);
    bool GetReadOnly() const { return readOnly_; }
    void SetCastShadow(bool on) { castShadow_ = on; }
    bool GetCastShadow() const { return castShadow_; }

    // Takes the shared resources of the file's name, or reads the file, checks it whole
    // and makes them. False (logged) for a name that is neither ".n3d" nor ".nvx", a
    // missing or malformed file, or buffers that cannot be made; nothing of a failed
    // load stays under the name.
    bool LoadMesh();

    nIndexBuffer* GetIndexBuffer() const { return indexBuffer_.GetUnsafe(); }
    nShadowCaster* GetShadowCaster() const { return shadowCaster_.GetUnsafe(); }

private:
    void releaseResources();
    // Loads unless a load failed since the last change; logs the failure once.
    bool ensureLoaded();

    nPathRef<nShadowServer> refShadow_;
    nRef<nShadowCaster> shadowCaster_;
    nRef<nVertexBuffer> vertexBuffer_;
    nRef<nIndexBuffer> indexBuffer_;
    nString fileName_;
    bool readOnly_ = false;
    bool castShadow_ = false;
    bool loadFailed_ = false;
};
