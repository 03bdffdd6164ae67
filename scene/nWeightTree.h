#pragma once
// The weight tree (script class "nweighttree"): balances raw channel weights through a
// tree of leaves and two-child nodes, so that what a node's children weigh together
// never exceeds what the node allows, and writes the balanced weights back into the
// leaves' channels in the current channel context (for the mixers below to read).
#include <string>
#include <vector>

#include "scene/nVisNode.h"

class nWeightTree : public nVisNode {
public:
    static const nClassInfo classInfo;

    // Entries a script may ask for.
    static constexpr int MaxEntries = 1024;

    nWeightTree();

    bool SaveCmds(nPersistServer* ps) override;
    // Balances first, then attaches the children, so the whole subtree reads the weights.
    bool Attach(nSceneGraph2* sceneGraph) override;
    void Compute(nSceneGraph2* sceneGraph) override;
    // The leaves added before the first node read and write a channel of their name.
    void CollectChannels(nChannelSet* set) override;

    // False (logged) for a name already taken, or a full table.
    bool AddLeaf(const char* name);
    // False (logged) for a name already taken, a child name that names no entry, or a full
    // table; nothing is added then.
    bool AddNode(const char* name, const char* child0, const char* child1);

    int GetNumEntries() const { return static_cast<int>(entries_.size()); }
    // The weight of entry `name` after the last Compute; 0 when there is none.
    float GetWeight(const char* name) const;

    // Reads nothing: balances the entries' current weights in list order.
    void Balance();

private:
    struct Entry {
        std::string name;
        int parent = -1;
        int child0 = -1, child1 = -1;
        float weight = 0.0f;
        int channelIndex = -1;
    };

    int FindEntry(const char* name) const;
    void BalanceEntry(int e);
    // Entries before the first with children: the ones that own a channel.
    int NumChannelEntries() const;

    std::vector<Entry> entries_;
};
