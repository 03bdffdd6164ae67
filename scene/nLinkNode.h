#pragma once
// Shows another visual subtree at a second place of the tree (script class
// "nlinknode"): it forwards attach, preload and channel collection to the node its
// target path names, so the target is drawn inside the link's scene node too. The
// link's own children are reached only by Preload.
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"
#include "scene/nVisNode.h"

class nLinkNode : public nVisNode {
public:
    static const nClassInfo classInfo;

    nLinkNode();

    // "settarget" with the path.
    bool SaveCmds(nPersistServer* ps) override;
    // The target's Attach and its result; true without a target.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // The target's Preload, then the link's own children.
    void Preload() override;
    // Asks the target (its own set may collect again) and answers false.
    bool ChannelsChanged() override;
    void CollectChannels(nChannelSet* set) override;

    // Stores the path; the link's parents, and the new target when it exists, collect
    // their channels again.
    void SetTarget(const char* path);
    // The path ("" when none).
    const char* GetTarget() const;
    // The target when the path names a visual node now; null otherwise (a path to
    // another kind of object is logged once).
    nVisNode* GetTargetNode();

private:
    nPathRef<nRoot> target_;
    // Set while the link forwards: a target that leads back to the link (a link below
    // its own target) is cut there instead of recursing without end.
    bool forwarding_ = false;
    bool wrongClassLogged_ = false;
};
