#pragma once
// The flip-flop (script class "nflipflop"): of a row of keys, each a time and a node,
// attaches only the node of the key its channel's time selects (the frames of a blinking
// light, the states of a switch). Keys name children, "." for the flip-flop itself or
// ".." for its parent.
#include <vector>

#include "anim/nAnimNode.h"
#include "kernel/nRef.h"

class nFlipFlop : public nAnimNode {
public:
    static const nClassInfo classInfo;

    // Keys a script may ask for.
    static constexpr int MaxKeys = 4096;

    nFlipFlop();

    // Hangs the flip-flop into its parent's depend list.
    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    bool Attach(nSceneGraph2* sceneGraph) override;
    void Compute(nSceneGraph2* sceneGraph) override;

    // Appends a key for the node `name` names; false (logged) when it names no visual
    // node or the table is full.
    bool AddKey(float time, const char* name);
    int GetNumKeys() const { return static_cast<int>(keys_.size()); }
    // The node key `t` selects (channel time, before looping); null with fewer than two
    // keys, a last key time not above 0, or a key whose node has died.
    nVisNode* Select(float t);

private:
    struct Key {
        float time = 0.0f;
        nRef<nVisNode> node;
    };

    std::vector<Key> keys_;
    // Set while the selected node attaches or computes: reaching the flip-flop again
    // through that node (a key on "." or "..") attaches nothing.
    nVisNode* current_ = nullptr;
    bool lateKeyLogged_ = false;
};
