#include "anim/nCharSkeleton.h"

bool nCharSkeleton::BeginJoints(int n) {
    if (n < 0 || n > MaxJoints) return false;
    joints_.reset(n > 0 ? new nCharJoint[size_t(n)] : nullptr);
    count_ = n;
    open_ = true;
    return true;
}

bool nCharSkeleton::AddJoint(int i, const char* name, int parentIndex, const vector3& t, const quaternion& q) {
    if (i < 0 || i >= count_ || parentIndex < -1 || parentIndex >= i) return false;
    nCharJoint& j = joints_[i];
    j.name = name ? name : "";
    j.parentIndex = parentIndex;
    j.parent = parentIndex >= 0 ? &joints_[parentIndex] : nullptr;
    j.SetRestPose(t, q);
    return true;
}

void nCharSkeleton::Copy(const nCharSkeleton& from) {
    BeginJoints(from.count_);
    for (int i = 0; i < count_; i++) {
        const nCharJoint& src = from.joints_[i];
        nCharJoint& j = joints_[i];
        j.name = src.name;
        j.parentIndex = src.parentIndex;
        j.parent = src.parentIndex >= 0 && src.parentIndex < i ? &joints_[src.parentIndex] : nullptr;
        j.SetRestPose(src.restTranslation, src.restRotation);
    }
    open_ = false;
}
