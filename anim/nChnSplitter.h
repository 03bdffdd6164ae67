#pragma once
// The channel splitter (script class "nchnsplitter"): cross-fades a row of channels over
// time. Each key names a channel at a time; at time t the two keys around t share the
// weight 1 linearly and every other key's channel reads 0, in the current channel
// context only (a walk blending into a run, driven by the node's time channel).
#include <string>
#include <vector>

#include "anim/nAnimNode.h"
#include "kernel/nDataCharge.h"

class nChnSplitter : public nAnimNode {
public:
    static const nClassInfo classInfo;

    // Keys a script may ask for.
    static constexpr int MaxKeys = 4096;

    nChnSplitter();

    bool SaveCmds(nPersistServer* ps) override;
    // Splits first, then attaches the children, so the whole subtree reads the weights.
    bool Attach(nSceneGraph2* sceneGraph) override;
    void Compute(nSceneGraph2* sceneGraph) override;
    void CollectChannels(nChannelSet* set) override;

    // `n` keys at time 0 without a channel; a count outside 0 to MaxKeys is logged and
    // changes nothing.
    void BeginKeys(int n);
    // An index outside the keys is logged and ignored.
    void SetKey(int index, float time, const char* channel);
    void EndKeys();
    // Appends a key; refused (logged) beyond MaxKeys.
    void AddKey(float time, const char* channel);
    int GetNumKeys() const { return static_cast<int>(keys_.size()); }
    // Time 0 and "" outside the keys.
    void GetKey(int index, float& time, const char*& channel) const;
    // The weight the last Compute gave key `index` (0 outside).
    float GetWeight(int index) const;

    // Sets every key's weight for time `t` as Compute does.
    void Split(float t);

private:
    struct Key {
        float time = 0.0f;
        std::string channel;
        int channelIndex = -1;
        float weight = 0.0f;
    };

    // Holds the table of `keys` with `texts` bytes of channel names for data; false
    // (logged) when data would keep more than it may.
    bool chargeKeys(size_t keys, size_t texts, const char* what);

    std::vector<Key> keys_;
    size_t keyTexts_ = 0;  // the bytes of the keys' channel names
    nDataCharge keysCharge_;
    bool earlyKeyLogged_ = false;
};
