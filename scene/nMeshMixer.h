#pragma once
// Blends up to 16 source meshes into one (script class "nmeshmixer"): each source is a
// mesh node with a weight channel; every frame the sources with a positive weight
// produce their vertex buffers, and the weighted sum of the chosen components (the
// others come from the first source) goes into a buffer of the mixer's own.
#include <cstdint>
#include <memory>
#include <string>

#include "scene/MeshSource.h"
#include "scene/nVisNode.h"

class MeshOutput;

class nMeshMixer : public nVisNode {
public:
    static const nClassInfo classInfo;
    static constexpr int MaxSources = 16;
    // Flag bits 0..6 follow the vertex component mask; bit 7 normalises the weights.
    enum { Normalize = 7 };

    nMeshMixer();
    ~nMeshMixer() override;

    bool SaveCmds(nPersistServer* ps) override;
    // Attaches the children; unless read-only, enters itself as the current scene node's
    // other visual.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Mixes the sources whose weight is above 0. A source that gives no buffer, has
    // other components than the first one kept or fewer vertices is skipped (logged
    // once); with none kept the scene node is left as it was.
    void Compute(nSceneGraph2* sceneGraph) override;
    // Adds the weight channels and the sources' own channels.
    void CollectChannels(nChannelSet* set) override;

    void SetReadOnly(bool on);
    bool GetReadOnly() const { return readOnly_; }
    // More than 16 or fewer than 0 refused (logged).
    void BeginSources(int n);
    // False (logged) for an index outside 0..15. A new weight channel name has the
    // channel sets collected again.
    bool SetSource(int index, const char* meshPath, const char* channel);
    // The channel sets of the mixer and its visual ancestors are collected again.
    void EndSources();
    int GetNumSources() const { return numSources_; }
    // "" for both outside the table.
    const char* GetSourceMesh(int index) const;
    const char* GetSourceChannel(int index) const;

    void SetFlag(int bit, bool on);
    bool GetFlag(int bit) const { return (flags_ >> bit & 1u) != 0; }

private:
    static const nCmdDef<nMeshMixer> cmds[];
    struct Source {
        MeshSource mesh;
        std::string channel;
        int channelIndex = -1;
    };

    bool sourcesOpen_ = false;
    uint32_t flags_ = 0;
    int numSources_ = 0;
    bool readOnly_ = false;
    bool busy_ = false;
    Source sources_[MaxSources];
    std::unique_ptr<MeshOutput> output_;
};
