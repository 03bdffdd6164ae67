#pragma once
// The root of a bone hierarchy (script class "nbonesystem"): names its root bone and
// numbers every joint below it depth first, so the joint indices a skinned mesh stores
// address them. The table is built once, on the first attach; an entry whose joint is
// deleted clears and reads as none.
#include <vector>

#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "scene/nVisNode.h"

class nJoint2;

class nBoneSystem : public nVisNode {
public:
    static const nClassInfo classInfo;

    nBoneSystem();

    // The visual node's commands, then "setrootbone".
    bool SaveCmds(nPersistServer* ps) override;
    // Builds the bone table when not built yet, then attaches the children. A root bone
    // that does not resolve to a joint is logged once and tried again next frame.
    bool Attach(nSceneGraph2* sceneGraph) override;

    void SetRootBone(const char* path);
    const char* GetRootBone() const;

    bool IsCollected() const { return collected_; }
    int GetNumBones() const { return int(bones_.size()); }
    // The joint of index i; null outside the table or when it died.
    nJoint2* GetBone(int i) const;

private:
    void collect();
    void count(nRoot* joint, int& n) const;
    void fill(nRoot* joint);

    nPathRef<nRoot> rootBone_;
    std::vector<nRef<nJoint2>> bones_;
    bool collected_ = false;
    bool logged_ = false;
};
