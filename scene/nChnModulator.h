#pragma once
// The channel modulator (script class "nchnmodulator"): multiplies channel a by channel
// b in the current channel context, so its subtree reads a × b while the global value of
// a stays what it was (a fade of one animation by another weight, without code).
#include <string>
#include <vector>

#include "scene/nVisNode.h"

class nChnModulator : public nVisNode {
public:
    static const nClassInfo classInfo;

    // Entries a script may ask for.
    static constexpr int MaxEntries = 256;

    nChnModulator();

    bool SaveCmds(nPersistServer* ps) override;
    // Modulates first, then attaches the children, so the whole subtree reads the product.
    bool Attach(nSceneGraph2* sceneGraph) override;
    void Compute(nSceneGraph2* sceneGraph) override;
    void CollectChannels(nChannelSet* set) override;

    // `n` empty entries; a count outside 0 to MaxEntries is logged and changes nothing.
    void BeginChannels(int n);
    // Entry `index` multiplies `a` by `b`; an index outside the entries is logged and
    // ignored.
    void SetChannel(int index, const char* a, const char* b);
    void EndChannels();
    int GetNumChannels() const { return static_cast<int>(entries_.size()); }
    // The names of entry `index`; "" for an unset name or an index outside the entries.
    void GetChannel(int index, const char*& a, const char*& b) const;
    // The values of a and b the last Compute read for entry `index` (0 outside).
    float GetLastA(int index) const;
    float GetLastB(int index) const;

private:
    struct Entry {
        std::string a, b;
        int indexA = -1, indexB = -1;
        float lastA = 0.0f, lastB = 0.0f;
    };

    std::vector<Entry> entries_;
};
