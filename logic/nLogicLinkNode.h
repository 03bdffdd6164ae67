#pragma once
// Shows a logic node chosen at run time inside a visual tree (script class
// "nlogiclinknode"): a text channel holds the node's path, and in the attach pass the
// link advances that node's clock, triggers it and draws it in place. Its link target is
// still asked for its channels, as a plain link node's is.
#include <string>

#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "scene/nLinkNode.h"

class nLogicGraph;
class nLogicVisual2;
struct nSceneNodeRecord;

class nLogicLinkNode : public nLinkNode {
public:
    static const nClassInfo classInfo;

    nLogicLinkNode();

    // The link's "settarget" line, then "setchannel".
    bool SaveCmds(nPersistServer* ps) override;
    // Shows the visible visual logic node whose path the channel holds; an empty value, a
    // path naming nothing, an invisible node or another kind of object shows nothing.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // The channel, then the link target's channels; without a target (logged once until
    // the target changes) only the channel.
    void CollectChannels(nChannelSet* set) override;

    // The link's ancestors collect their channels again.
    void SetChannel(const char* name);
    const char* GetChannel() const { return channelName_.c_str(); }

private:
    // The text of the channel in the record's context; null when it holds none.
    const char* ChannelText(const nSceneNodeRecord* rec);
    // Advances, triggers and draws the node at the link's place.
    void Show(nSceneGraph2* sceneGraph, nSceneNodeRecord* rec, nLogicVisual2* node);

    std::string channelName_;
    // The channel's global index; its value is read at its position in the context's set.
    int channel_ = -1;
    nPathRef<nLogicGraph> graphRef_{"/sys/servers/lgraph"};
    // Set while the link shows its node: a node whose picture holds this link again is
    // drawn once, not without end.
    bool showing_ = false;
    // The last value that named no visual logic node, logged once.
    std::string refusedValue_;
    // The target path that was logged as missing, and whether one was.
    std::string missingTarget_;
    bool missingLogged_ = false;
};
