#pragma once
// Shows a visual subtree at its logic node (script class "nmodvisualizer", module type 2):
// at first use it clones a template 3D node as its own child "ref_<module name>", and each
// frame it places the copy at the node (times its own transform), feeds the node's render
// variables into the copy's channels of the same names and attaches it to the scene. An
// optional box of view extents skips frames in which it is out of view.
#include <cstdint>
#include <string>

#include "kernel/nArray.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/vector3.h"
#include "logic/nModTransformer.h"

class nChannelServer;
class nChannelSet;
class nGfxServer;
struct nChannelContext;
class n3DNode;

class nModVisualizer : public nModTransformer {
public:
    static const nClassInfo classInfo;

    nModVisualizer();
    ~nModVisualizer() override;
    bool SaveCmds(nPersistServer* ps) override;

    int GetType() const override { return Visualizer; }
    // Makes the copy; a template that is missing or no "n3dnode" is logged once and
    // leaves the module without one.
    void Attach() override;
    // The view-extent box as twelve red lines, when one is set.
    void Render() override;
    void Visualize(const matrix44& world, nSceneGraph2* sceneGraph, nVariableContext* vars) override;

    // The same path again keeps the copy; another drops it (the next use makes a new one).
    void SetVisual(const char* path);
    // The path when the template resolves, "" otherwise.
    std::string GetVisual();
    void SetViewExtents(const vector3& e);
    const vector3& GetViewExtents() const { return viewExtents_; }
    void AddChannel(const char*) {}

    // Per variable of `vars`, the global index of the channel of that name in `set`.
    virtual void BindChannels(nVariableContext* vars, nChannelSet* set);
    // Writes each variable into its channel's slot of `ctx`.
    virtual void UpdateChannels(nChannelContext* ctx, nChannelSet* set, nVariableContext* vars);

    n3DNode* GetClone() const { return clone_.GetUnsafe(); }

private:
    // The template, null (logged once per path) when it does not resolve to an n3dnode.
    nRoot* resolveTemplate();
    void createVisual();
    // True when the view-extent box around W lies wholly outside the view.
    bool outsideView(const matrix44& w);

    bool channelsDirty_ = true;
    nArray<int> channelIndices_{32, 32};
    // The layout of the variables the indices were bound for.
    uint64_t boundLayout_ = 0;
    nRef<n3DNode> clone_;
    nPathRef<nRoot> visual_;
    bool visualLogged_ = false;
    // The data run that named the template (0: a person's text); its copy is charged to it.
    uint32_t visualRun_ = 0;
    // The copy would pass data's bound: not tried again until the template changes.
    bool copyRefused_ = false;
    vector3 viewExtents_{0.5f, 0.5f, 0.5f};
    bool hasExtents_ = false;
    nPathRef<nChannelServer> refChannelServer_{"/sys/servers/channel"};
    nPathRef<nGfxServer> refGfxServer_{"/sys/servers/gfx"};
};
