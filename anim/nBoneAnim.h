#pragma once
// Drives a set of bones from its bone animation states (script class "nboneanim"): each
// frame every bone starts from its rest offset, each state child adds its weighted
// keyframe pose, and the result becomes the bones' translation and rotation. The node
// is computed with its parent's parent, before the bones attach.
#include <string>
#include <vector>

#include "kernel/nDataCharge.h"
#include "kernel/nRef.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"
#include "scene/nVisNode.h"

class nBone;
class nBoneAnimState;

class nBoneAnim : public nVisNode {
public:
    static const nClassInfo classInfo;
    static constexpr int MaxStates = 64;

    nBoneAnim();

    // Joins the depend list of its parent's parent (none: nothing computes it).
    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    // Attaches the states, evaluates them, writes the bones, computes the depend list.
    void Compute(nSceneGraph2* sceneGraph) override;

    // A table of n empty entries.
    void BeginBones(int n);
    // Entry i := the bone `name` as the base bone's FindBone gives it (null when none).
    // An index outside the table is logged and changes nothing.
    void SetBone(int i, const char* name);
    void EndBones() { open_ = false; }
    int GetNumBones() const { return int(bones_.size()); }
    nBone* GetBone(int i) const;
    void SetNormStates(bool on) { normStates_ = on; }
    bool GetNormStates() const { return normStates_; }
    // Evaluates the states when an evaluation is pending.
    void EvalBones();
    void UpdateBones();

    const vector3& GetTranslation(int i) const { return trans_[size_t(i)]; }
    const quaternion& GetRotation(int i) const { return rot_[size_t(i)]; }

private:
    // The first bone among the children of the parent, the grandparent, and so on up.
    nBone* baseBone();

    std::vector<nRef<nBone>> bones_;
    nDataCharge bonesCharge_;  // the tables that data sized
    // Names as set, for saving.
    std::vector<std::string> names_;
    bool open_ = false;
    // The states of the last evaluation; one deleted since reads as none.
    nRef<nBoneAnimState> states_[MaxStates];
    int numStates_ = 0;
    std::string basePath_;
    bool normStates_ = false;
    bool pending_ = true;
    std::vector<vector3> trans_;
    std::vector<quaternion> rot_;
};
