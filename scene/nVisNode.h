#pragma once
// Base of every node of the visual tree (script class "nvisnode"). Once a frame the scene
// graph has the root attach itself: each node records what it contributes in the current
// scene-node record (Attach), and is later computed with that record current (Compute).
// The node also lists the channels its subtree reads (its channel set) and the nodes
// that must be computed together with it (its depend list).
#include <cstdint>

#include "kernel/nList.h"
#include "kernel/nNode.h"
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"

class nChannelServer;
class nChannelSet;
class nGfxServer;
class nIndexBuffer;
class nPixelShader;
class nSceneGraph2;
class nVertexBuffer;

class nVisNode : public nRoot {
public:
    static const nClassInfo classInfo;

    nVisNode();
    // Unlinks the depend entries of other nodes and its own, frees the channel set.
    ~nVisNode() override;

    // A node linked into a tree changes the channels its ancestors read. Runs again when
    // a script moves the node, so overrides must bear being run more than once.
    void Initialize() override;
    // "setfinishedafter" only when the time is above 0.
    bool SaveCmds(nPersistServer* ps) override;

    // Attaches every child that is a visual node, in child order; true.
    virtual bool Attach(nSceneGraph2* sceneGraph);
    // Computes the depend list in list order.
    virtual void Compute(nSceneGraph2* sceneGraph);
    // True for a node that, computed from another node's depend list, reads what that
    // node writes into the scene node (an emitter reads its transform's matrix). A
    // transform computes these after its matrix and the others (interpolators that drive
    // the transform) before it, so neither sees last frame's value.
    virtual bool ReadsSceneNode() const { return false; }
    // Forces resources to load; the base passes it to the visual children.
    virtual void Preload();
    // True when the channel set must be collected again.
    virtual bool ChannelsChanged();
    // Adds the channels this node reads; the base passes the set to the visual children.
    virtual void CollectChannels(nChannelSet* set);
    virtual void AddRenderContext(uint32_t id);
    virtual void RemoveRenderContext(uint32_t id);

    // What the scene graph asks of the node registered in a record's mesh or shader slot
    // when it sorts and picks texture levels: the mesh's vertex buffer (a mesh loads
    // itself here; null when it cannot), the shader's device shader and its mip-level
    // bias. Nodes of other kinds keep the base answers (null, 0).
    virtual nVertexBuffer* GetVertexBuffer() { return nullptr; }
    virtual nPixelShader* GetPixelShader() { return nullptr; }
    virtual int GetMipLodBias() { return 0; }

    // The set, made on first use and collected again while ChannelsChanged says so.
    nChannelSet* GetChannelSet();

    // Marks this node and each visual ancestor that owns a channel set as changed; stops
    // at the first ancestor that is no visual node.
    void NotifyParents();

    // `node`'s Compute computes this node too (this node's entry moves to its list).
    void AddDepend(nVisNode* node);
    // True when `node` is in this node's depend list.
    bool HasDepend(const nVisNode* node) const;
    // The first float of global channel `channel` in the channel context of the scene
    // graph's current node; 0 when there is none.
    static float ReadChannel(nSceneGraph2* sceneGraph, int channel);
    // Writes `value` as the first float of `channel` in that context; false when the
    // context or its set lacks the channel.
    static bool WriteChannel(nSceneGraph2* sceneGraph, int channel, float value);
    void SetFinishedAfter(float t) { finishedAfter_ = t; }
    float GetFinishedAfter() const { return finishedAfter_; }

    // True when `obj` is a visual node.
    bool IsVisual(const nRoot* obj) const { return obj && obj->IsA(visClass_); }

protected:
    // Computes the depend-list nodes whose ReadsSceneNode equals `readers`, in list order.
    void ComputeDepends(nSceneGraph2* sceneGraph, bool readers);

    nPathRef<nGfxServer> refGfx;
    nPathRef<nChannelServer> refChannel;

private:
    nClass* visClass_;
    nList dependList_;
    nNode dependNode_;
    float finishedAfter_ = 0.0f;
    nChannelSet* channelSet_ = nullptr;
    bool channelsChanged_ = true;
};
