#pragma once
// A skinned character of the visual tree (script class "ncharacternode"): a skeleton of
// joints in their rest pose, named states mixing animations from one curve file, a
// string channel naming the state to play, one weight channel per state animation, and
// hardpoints that hang transform nodes on joints. Each frame it poses its instance for
// the render context being drawn, bends the skin mesh's vertices by the joints into a
// buffer of its own and draws it.
#include <string>
#include <vector>

#include "anim/nAnimNode.h"
#include "anim/nCharSkeleton.h"
#include "anim/nCharSkin.h"
#include "anim/nCharStateSet.h"
#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"

class nAnimCurveArray;
class nAnimServer;
class nCharacterInstance;
class nCharacterServer;
class nShadowServer;

struct nCharHardpoint {
    int joint = 0;
    nPathRef<nRoot> node;
};

class nCharacterNode : public nAnimNode {
public:
    static const nClassInfo classInfo;

    nCharacterNode();
    // Removes the node's instances from the character server and drops its curves.
    ~nCharacterNode() override;

    bool SaveCmds(nPersistServer* ps) override;
    // Switches the state as the state channel says, attaches the current state's node,
    // poses the instance, places and attaches the hardpoints, and registers the node to
    // be computed with the current scene node. Skipped in a context without instance.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Skins (or draws the skeleton of) the instance of the context being drawn.
    void Compute(nSceneGraph2* sceneGraph) override;
    // The state channel and each animation's weight channel, then the time channel.
    void CollectChannels(nChannelSet* set) override;
    // Makes the instance of context `id` from the node's skeleton (once per context).
    void AddRenderContext(uint32_t id) override;
    void RemoveRenderContext(uint32_t id) override;

    void SetReadOnly(bool on) { readOnly_ = on; }
    bool GetReadOnly() const { return readOnly_; }
    void SetSkinMesh(const char* path);
    const char* GetSkinMesh() const;
    void SetCastShadow(bool on) { castShadow_ = on; }
    bool GetCastShadow() const { return castShadow_; }
    void SetStateChannel(const char* name);
    const char* GetStateChannel() const { return stateChannel_.c_str(); }
    // Takes the shared curve array of the file, loading it when new. A file that cannot
    // be read leaves an empty array: curves bound from it are absent.
    void SetAnimFile(const char* name);
    const char* GetAnimFile() const { return animFile_.c_str(); }
    void SetRenderSkeleton(bool on) { renderSkeleton_ = on; }
    bool GetRenderSkeleton() const { return renderSkeleton_; }

    // Definition; bad indices and names are logged and change nothing.
    void BeginJoints(int n);
    void AddJoint(int i, const char* name, int parent, const vector3& t, const quaternion& q);
    void EndJoints() { skeleton_.EndJoints(); }
    bool BeginStates(int n);
    void AddState(int i, const char* name);
    void BeginStateAnims(int state, int n);
    void AddStateAnim(int state, int i, const char* name, const char* weightChannel);
    void EndStateAnims(int state);
    void EndStates();
    void BeginHardpoints(int n);
    void AddHardpoint(int i, int joint, const char* path);

    const nCharSkeleton& GetSkeleton() const { return skeleton_; }
    nCharStateSet& GetStateSet() { return stateSet_; }
    int GetNumHardpoints() const { return int(hardpoints_.size()); }
    const nCharHardpoint* GetHardpoint(int i) const;
    int GetNodeId() const { return nodeId_; }
    nCharSkin& GetSkin() { return skin_; }
    // The instance drawn in the current scene node's render context; null when none.
    nCharacterInstance* FindInstance(nSceneGraph2* sceneGraph);

private:
    static const nCmdDef<nCharacterNode> cmds[];

    nCharacterServer* charServer();
    void releaseCurves();
    void drawSkeleton(nCharacterInstance* inst);
    bool badState(const char* cmd, int state);

    nPathRef<nAnimServer> refAnimServer_;
    nPathRef<nCharacterServer> refCharServer_;
    nPathRef<nShadowServer> refShadow_;
    std::string animFile_;
    nRef<nAnimCurveArray> refCurves_;
    nCharSkeleton skeleton_;
    nCharStateSet stateSet_;
    nCharSkin skin_;
    int nodeId_ = -1;
    std::string stateChannel_ = "charstate";
    int stateChannelHandle_ = -1;
    nPathRef<nRoot> refSkinMesh_;
    bool readOnly_ = false;
    bool castShadow_ = false;
    bool renderSkeleton_ = false;
    std::vector<nCharHardpoint> hardpoints_;
    // What the joints, the states with their animations' curve tables and the hardpoints
    // take; held for data (false, logged, when data would keep more than it may).
    bool chargeTables(uint64_t joints, uint64_t states, uint64_t hardpoints, const char* what);
    uint64_t jointBytes_ = 0, stateBytes_ = 0, hardpointBytes_ = 0;
    nDataCharge tablesCharge_;
    // Joint skin matrices handed to the skin pass; grows with the skeleton only.
    std::vector<const matrix44*> jointMatrices_;
    bool skinLogged_ = false;
    bool hardpointLogged_ = false;
};
