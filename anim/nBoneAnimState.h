#pragma once
// One keyframed animation of a bone set (script class "nboneanimstate"): a key file with
// a translation and a rotation track per bone at a fixed key interval, a weight read
// from a channel, scripts run at the end of a one-shot run and at single keys, and an
// optional translation target that receives the first bone's motion (so a walk cycle
// moves its object). The bone animation node asks it to add its weighted pose.
#include <string>
#include <vector>

#include "anim/nAnimNode.h"
#include "anim/nBoneKeys.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"

class n3DNode;
class nScriptServer;

class nBoneAnimState : public nAnimNode {
public:
    static const nClassInfo classInfo;
    static constexpr int MaxWeightChannel = 31;

    nBoneAnimState();

    bool SaveCmds(nPersistServer* ps) override;
    // Attaches the children, reads the time and weight channels, restarts when a reset
    // was asked for, and sets the state time.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // The weight channel, then the time channel.
    void CollectChannels(nChannelSet* set) override;

    // Adds this state's pose, weighted by w0 x its weight, to the bones' translations T
    // and rotations Q (n bones). False when it contributes nothing: a weight within
    // 0.001 of 0, no keys, fewer than 2 keys, a key time not above 0 or a negative state
    // time.
    bool Accumulate(vector3* T, quaternion* Q, int n, float w0);

    void Reset() { resetRequested_ = true; }
    void SetWeight(float w) { weight_ = w; }
    float GetWeight() const { return weight_; }
    // Loads the key file; false (logged) when it cannot be read. An unopenable binary
    // file drops its name.
    bool LoadKeys();
    void UnloadKeys();
    void SetKeyFileName(const char* name);
    const char* GetKeyFileName() const { return keyFile_.c_str(); }
    void SetWeightChannel(const char* name);
    const char* GetWeightChannel() const { return weightChannel_.c_str(); }
    void SetKeyTime(float t) { keyTime_ = t; }
    float GetKeyTime() const { return float(keyTime_); }
    // The key time truncated to a whole number.
    float GetLastKey() const { return float(int(keyTime_)); }
    // An n3dnode (or subclass) by path from this node; anything else clears the target.
    void SetTransTarget(const char* path);
    n3DNode* GetTransTarget() const { return target_.GetUnsafe(); }
    void SetTransMode(bool tx, bool ty, bool tz, bool rx, bool ry, bool rz);
    unsigned GetTransMode() const { return transMode_; }
    void SetCallback(const char* script);
    const char* GetCallback() const { return endCallback_.c_str(); }
    // Loads the keys first; an index outside the keys is logged and changes nothing.
    void SetKeyCallback(int key, const char* script);
    // "empty" when key i has none.
    const char* GetKeyCallback(int key) const;
    void SetFreezeMode(bool on) { freeze_ = on; }

    // What Attach sets; for the bone animation node and tests.
    void SetStateTime(double t) { stateTime_ = t; }
    double GetStateTime() const { return stateTime_; }
    int GetNumBones() const { return keys_.numBones; }
    int GetNumKeys() const { return keys_.numKeys; }
    bool KeysLoaded() const { return loaded_; }
    const nBoneKeyTable& GetKeys() const { return keys_; }
    void ClearStartCaptured() { startCaptured_ = false; }
    bool StartCaptured() const { return startCaptured_; }

private:
    static const nCmdDef<nBoneAnimState> cmds[];

    void runScript(const std::string& text);
    void NoteCallbackOrigin();
    void transfer(int k, float frac, float w);

    nPathRef<nScriptServer> refScript_;
    double keyTime_ = -1.0;
    nBoneKeyTable keys_;
    std::string weightChannel_;
    float weight_ = 0.0f;
    double stateTime_ = 0.0;
    double startTime_ = 0.0;
    int lastKey_ = -1;
    std::string keyFile_;
    bool loaded_ = false;
    bool loadFailed_ = false;
    std::string endCallback_;
    bool endFired_ = false;
    bool capture_ = false;
    std::vector<std::string> keyCallbacks_;
    nScriptServer::Origin callbackOrigin_ = nScriptServer::Origin::Person;
    bool freeze_ = false;
    int weightChannelHandle_ = -1;
    nRef<n3DNode> target_;
    unsigned transMode_ = 0;
    vector3 lastT_;
    quaternion lastQ_;
    vector3 startT_;
    quaternion startQ_;
    int lastTransferKey_ = -1;
    bool resetRequested_ = false;
    bool startCaptured_ = false;
};
