#pragma once
// The hyper mixer (script class "nhypermixer2"): blends whole poses. Each source is a
// visual subtree weighted by a channel; each connect names an object path found below
// every source, a getter of those objects and a setter of a target object. Every frame
// the target receives the weighted sum of the getters of the sources that weigh
// something (several skeleton poses blended into one).
#include <string>
#include <vector>

#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "scene/nMixSources.h"
#include "scene/nVisNode.h"

class nCmdProto;

class nHyperMixer2 : public nVisNode {
public:
    static const nClassInfo classInfo;

    static constexpr int MaxSources = nMixSources::Max;
    static constexpr int MaxConnects = 64;

    nHyperMixer2();

    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    void Compute(nSceneGraph2* sceneGraph) override;
    // The weight channels, then each source subtree's channels, then the children's.
    void CollectChannels(nChannelSet* set) override;

    // Counts and indices outside the tables are logged and change nothing.
    void BeginSources(int n);
    // Source `index` is the visual node at `path` (relative to the mixer) weighted by the
    // first value of `channel` (cut to 31 characters).
    void SetSource(int index, const char* path, const char* channel);
    // Paths are looked up again at the next Compute.
    void EndSources();
    int GetNumSources() const { return sources_.Count(); }
    void GetSource(int index, const char*& path, const char*& channel) const;

    void BeginConnects(int n);
    // Connect `index` sets `target`'s `setter` from the `getter` of the `object` below each
    // source, with the origin of the text running now. A setter without inputs (which no
    // value can drive: save, exit) is refused and logged when the target is found.
    void SetConnect(int index, const char* target, const char* setter, const char* object, const char* getter);
    void EndConnects();
    int GetNumConnects() const { return numConnects_; }
    // Four "" outside the connects.
    void GetConnect(int index, const char*& target, const char*& setter, const char*& object,
                    const char*& getter) const;

private:
    struct Connect {
        std::string target, setter, object, getter;
        nRef<nRoot> targetObj;
        nCmdProto* setterProto = nullptr;
        int numValues = 0;
        // Not usable until its paths and commands are found again.
        bool usable = false;
        // The origin of the text that set it: every call it makes runs under it (a getter
        // under the weaker of it and its source's), so data's connect reaches the engine
        // only through the commands open to data.
        nScriptServer::Origin origin = nScriptServer::Origin::Person;
        // Refused (logged once); dropped until it is set again.
        bool refused = false;
    };
    // Per connect and source: the object below the source and the getter of its class.
    struct Slot {
        nRef<nRoot> obj;
        nCmdProto* getter = nullptr;
    };

    nRoot* SourceNode(int s);
    // Finds every path and command; a path or command that is missing is logged once and
    // leaves its connect unused. Missing paths are looked for again in the next frame.
    void Resolve();
    bool ResolveConnect(int c);
    void LogOnce(const std::string& what);
    Slot& SlotAt(int c, int s) { return slots_[static_cast<size_t>(c * MaxSources + s)]; }

    nMixSources sources_;
    int numConnects_ = 0;
    Connect connects_[MaxConnects];
    // Made when first resolved: MaxConnects x MaxSources.
    std::vector<Slot> slots_;
    float weights_[MaxSources] = {};
    bool needsResolve_ = true;
    bool collecting_ = false;
    // What was logged since the settings last changed, so a broken mixer logs once.
    std::vector<std::string> logged_;
};
