#pragma once
// The curve-array node (script class "ncurvearraynode"): plays the curves of one curve
// file into float commands of other objects. Each connect ties a curve, or a bundle of
// curves blended by weights read from channels, to one command of one target; every
// time the parent is computed, each connect samples its source at its channel's time
// and calls the command with up to four floats.
#include <string>
#include <vector>

#include "anim/nAnimCurve.h"
#include "anim/nAnimNode.h"
#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"

class nAnimCurveArray;
class nAnimServer;
class nCmdProto;
class nExternalAnim;

struct nCurveBundleEntry {
    std::string curveName;
    int curve = -1;  // index in the curve array, -1 when none
    std::string channel;
    int channelIndex = -1;
    float weight = 0.0f;
};

struct nCurveBundle {
    std::string name;
    std::vector<nCurveBundleEntry> entries;
};

struct nCurveConnect {
    enum Kind { Unset = 0, Curve = 1, Bundle = 2, External = 3 };
    int kind = Unset;
    nPathRef<nRoot> target;
    // Curve index, bundle index or external curve id; -1 when none.
    int source = -1;
    std::string sourceName;
    std::string command;
    std::string channel;
    int channelIndex = -1;
    nCmdProto* proto = nullptr;
    // What was last logged about this connect, so a broken one logs once.
    int logged = 0;
    // The origin of the text that set it: its command runs under it, so data's connect
    // reaches the engine only through the commands open to data.
    nScriptServer::Origin origin = nScriptServer::Origin::Person;
    // Refused (logged once); skipped until it is set again.
    bool refused = false;
};

class nCurveArrayNode : public nAnimNode {
public:
    static const nClassInfo classInfo;

    // Bundles, entries and connects a script may ask for.
    static constexpr int MaxItems = 65536;

    nCurveArrayNode();
    // Closes the external animation and gives back the curve array.
    ~nCurveArrayNode() override;

    // Hangs the node into its parent's depend list.
    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    void Compute(nSceneGraph2* sceneGraph) override;
    // The weight and time channels of bundles and connects, then the node's own.
    void CollectChannels(nChannelSet* set) override;

    // A "file#animation" name opens the animation through the external server (logged
    // once and nothing animates when there is none); any other name shares the curve
    // array of the file through the animation server, loading it on first use. A file
    // that cannot be loaded leaves an empty array, logged.
    void SetFileName(const char* name);
    // The file part of the name.
    const char* GetFileName() const { return fileName_.c_str(); }

    void BeginCurveBundles(int n);
    void BeginBundle(int index, const char* name, int numCurves);
    // Without a curve array, or for a curve it lacks, the entry stays without a curve
    // (logged).
    void SetBundleCurve(int entry, const char* curveName, const char* channel);
    void BeginConnects(int n);
    void SetCurveConnect(int index, const char* curveName, const char* target, const char* command,
                         const char* channel);
    void SetBundleConnect(int index, const char* bundleName, const char* target, const char* command,
                          const char* channel);
    // Target paths resolve relative to this node from now on.
    void EndConnects();

    nAnimCurveArray* GetCurveArray() const { return curveArray_.GetUnsafe(); }
    int GetNumBundles() const { return static_cast<int>(bundles_.size()); }
    const nCurveBundle* GetBundle(int i) const;
    int GetNumConnects() const { return static_cast<int>(connects_.size()); }

    // The blended value of a bundle at time `t` with the entries' current weights.
    nAnimKey BlendBundle(const nCurveBundle& bundle, float t);

private:
    static const nCmdDef<nCurveArrayNode> cmds[];

    void DropSource();
    nCurveConnect* ConnectAt(int index, const char* what);
    void Deliver(nCurveConnect& c, const nAnimKey& value);
    // Logs once per connect and reason.
    void LogOnce(nCurveConnect& c, int reason, const char* fmt, const char* arg);

    nPathRef<nAnimServer> refAnim_;
    nPathRef<nRoot> refAnim2_;
    nRef<nAnimCurveArray> curveArray_;
    nExternalAnim* external_ = nullptr;
    nRef<nRoot> externalServer_;  // the object `external_` came from
    // False (logged) when data's bundles, their `entries` with the entries' `texts` and its
    // connects would keep more than data may.
    bool ChargeTables(size_t bundles, size_t entries, size_t texts, size_t connects, const char* what);

    std::vector<nCurveBundle> bundles_;
    size_t entries_ = 0;  // in all bundles
    size_t entryTexts_ = 0;  // the bytes of their curve and channel names
    nDataCharge tablesCharge_;  // the tables that data sized
    int currentBundle_ = -1;
    std::string fileName_;
    // The name as set, '#' part included, for saving.
    std::string fullName_;
    std::vector<nCurveConnect> connects_;
};
