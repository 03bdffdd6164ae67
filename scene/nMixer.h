#pragma once
// The mixer (script class "nmixer"): blends what several source objects answer to a
// getter command, weighted by one channel each, and hands the blend to a setter of its
// parent (two interpolators' positions blended into the transform above). Computing the
// parent computes the mixer first.
#include <string>

#include "scene/nMixSources.h"
#include "scene/nVisNode.h"

class nCmdProto;

class nMixer : public nVisNode {
public:
    static const nClassInfo classInfo;

    static constexpr int MaxSources = nMixSources::Max;
    static constexpr int MaxConnects = 8;
    // The blend of one connect: a target command takes at most this many floats.
    static constexpr int MaxValues = 4;

    nMixer();

    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    void Compute(nSceneGraph2* sceneGraph) override;
    void CollectChannels(nChannelSet* set) override;

    // Counts and indices outside the tables are logged and change nothing.
    void BeginSources(int n);
    // Source `index` is the object at `path` (relative to the mixer) weighted by the first
    // value of `channel` (cut to 31 characters).
    void SetSource(int index, const char* path, const char* channel);
    void EndSources();
    int GetNumSources() const { return sources_.Count(); }
    // "" for both outside the sources.
    void GetSource(int index, const char*& path, const char*& channel) const;

    // Connects are looked up again at the next Compute.
    void BeginConnects(int n);
    // Connect `index` sets the parent's `target` from the sources' `source` getters, with
    // the origin of the text running now. A target without inputs (which no value can
    // drive: save, exit) is refused and logged; the connect then drives nothing.
    void SetConnect(int index, const char* target, const char* source);
    void EndConnects();
    int GetNumConnects() const { return numConnects_; }
    void GetConnect(int index, const char*& target, const char*& source) const;

    void SetNormalize(bool b) { normalize_ = b; }
    bool GetNormalize() const { return normalize_; }

    // The weight of source `index` in the last Compute (after normalising).
    float GetWeight(int index) const;

private:
    struct Connect {
        std::string target;
        std::string source;
        nCmdProto* targetProto = nullptr;
        // The getter as last found on each source's class.
        nCmdProto* sourceProto[MaxSources] = {};
        int numValues = 0;
        // Why the connect was last dropped, so a broken one logs once.
        int logged = 0;
        // The origin of the text that set it; every call it makes runs under it (a getter
        // under the weaker of it and its source's).
        nScriptServer::Origin origin = nScriptServer::Origin::Person;
        // Refused (logged once) until it is set again.
        bool refused = false;
    };

    void Resolve();
    // Sums the weighted getter results of connect `c` into `acc`; false (logged once)
    // when a source with a weight does not answer.
    bool Gather(Connect& c, float* acc);
    void LogOnce(Connect& c, int reason, const char* fmt, const char* arg);

    nMixSources sources_;
    int numConnects_ = 0;
    Connect connects_[MaxConnects];
    float weights_[MaxSources] = {};
    bool normalize_ = true;
    bool resolved_ = false;
};
