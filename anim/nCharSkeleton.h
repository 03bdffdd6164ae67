#pragma once
// The joints of a character in one array, parents before children: the character node
// defines them by script, each character instance poses its own copy, and the logic
// layer's skeletons use the same type.
#include <memory>

#include "anim/nCharJoint.h"

class nCharSkeleton {
public:
    nCharSkeleton() = default;
    nCharSkeleton(const nCharSkeleton&) = delete;
    nCharSkeleton& operator=(const nCharSkeleton&) = delete;

    // A skin mesh names its joints by signed 16-bit indices: more could never move a vertex.
    static constexpr int MaxJoints = 32768;

    // Frees the joints and makes n default ones; opens the skeleton. False (nothing
    // changes) for an n outside 0 to MaxJoints.
    bool BeginJoints(int n);
    // Joint i gets its name, parent and rest pose. False (nothing changes) when i lies
    // outside the joints or the parent is neither -1 nor an earlier joint: a later
    // parent would be read before it is posed.
    bool AddJoint(int i, const char* name, int parentIndex, const vector3& t, const quaternion& q);
    void EndJoints() { open_ = false; }
    // Becomes a copy of `from` in its rest pose, parents pointing into its own joints.
    void Copy(const nCharSkeleton& from);

    int GetNumJoints() const { return count_; }
    nCharJoint* GetJoint(int i) { return i >= 0 && i < count_ ? &joints_[i] : nullptr; }
    const nCharJoint* GetJoint(int i) const { return i >= 0 && i < count_ ? &joints_[i] : nullptr; }
    nCharJoint* GetJoints() { return joints_.get(); }
    bool IsOpen() const { return open_; }

private:
    int count_ = 0;
    std::unique_ptr<nCharJoint[]> joints_;
    bool open_ = false;
};
