#pragma once
// Morphs between keyed meshes (script class "nmeshipol"): each key names a mesh node and
// a time; every frame the two keys around the channel's time produce their vertex
// buffers, and the per-vertex linear blend of them (every component they carry, and
// their bounding boxes) goes into a buffer of the node's own, drawn at once or, when
// read-only, handed to the scene node as its mesh.
#include <cstdint>
#include <memory>
#include <vector>

#include "anim/nAnimNode.h"
#include "kernel/nDataCharge.h"
#include "scene/MeshSource.h"

class MeshOutput;

struct nMeshIpolKey {
    MeshSource mesh;
    float time = 0.0f;
};

class nMeshIpol : public nAnimNode {
public:
    static const nClassInfo classInfo;
    // Key counts are 16-bit.
    static constexpr int MaxKeys = 65535;

    nMeshIpol();
    ~nMeshIpol() override;

    bool SaveCmds(nPersistServer* ps) override;
    // Attaches the children; unless read-only, enters itself as the current scene node's
    // other visual, so it is computed (and draws) when that node is drawn.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Blends the two keys around the channel's time. Fewer than two keys, a key mesh
    // that gives no buffer, or key meshes of different vertex counts or components draw
    // nothing this frame (logged once).
    void Compute(nSceneGraph2* sceneGraph) override;

    // A change drops the output buffer; it is made again in the new kind.
    void SetReadOnly(bool on);
    bool GetReadOnly() const { return readOnly_; }
    // Replaces the keys by n empty ones; outside 0..65535 refused (logged).
    void BeginKeys(int n);
    // False (logged) for an index outside the table BeginKeys made.
    bool SetKey(int index, float time, const char* meshPath);
    void EndKeys() {}
    int GetNumKeys() const { return int(keys_.size()); }
    // Time 0 and "" outside the table.
    float GetKeyTime(int index) const;
    const char* GetKeyMesh(int index) const;

    // Stored, answered and saved; the blend takes every component the meshes carry.
    void SetUpdateFlag(int bit, bool on);
    bool GetUpdateFlag(int bit) const { return (updateFlags_ >> bit & 1) != 0; }

private:
    static const nCmdDef<nMeshIpol> cmds[];
    bool blend(nSceneGraph2* sceneGraph, float t);
    void logOnce(bool& flag, const char* what);

    uint8_t updateFlags_ = 0;
    bool readOnly_ = false;
    bool busy_ = false;
    bool loopLogged_ = false;
    bool mismatchLogged_ = false;
    bool keysLogged_ = false;
    std::vector<nMeshIpolKey> keys_;
    nDataCharge keysCharge_;  // the table that data sized
    std::unique_ptr<MeshOutput> output_;
};
