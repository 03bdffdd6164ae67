#pragma once
// The game's follow camera (script class "nbwcamera"): every frame it stands at a fixed
// offset in its target's frame, and with a follow delay above 0.6 s it trails the target
// through a matrix history, so that the view follows fast turns smoothly.
#include <string>

#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"
#include "logic/nLogicCamera.h"
#include "logic/nMatrixHistory.h"

class nbwCamera : public nLogicCamera {
public:
    static const nClassInfo classInfo;

    nbwCamera();
    ~nbwCamera() override;
    bool SaveCmds(nPersistServer* ps) override;

    // While current, the camera server has it placed before it takes the view; then the
    // traversal does not place it again in that frame.
    void PlaceForView() override;
    void Traverse(nLogicGraph* graph, const matrix44& parentMatrix) override;

    // "none" drops the target; a path resolves relative to the camera when used.
    void SetTarget(const char* path);
    // The target's full path, "none" when it does not resolve.
    std::string GetTarget();
    void SetOffsetPos(const vector3& p);
    const vector3& GetOffsetPos() const { return offsetPos_; }
    void SetOffsetQuat(const quaternion& q);
    const quaternion& GetOffsetQuat() const { return offsetQuat_; }
    // The second value is the follow delay in seconds; the first is kept and saved only.
    void SetElasticity(float a, float b);
    float GetElasticity(int i) const { return elasticity_[i & 1]; }

    const nMatrixHistory& GetHistory() const { return history_; }

private:
    // Puts the target's matrix into the history and stands at the offset from it (or
    // from its pose `delay` ago); nothing without a target.
    void Place();
    const matrix44& OffsetMatrix();

    nMatrixHistory history_{5.0f, 0.1f};
    float elasticity_[2] = {0.8f, 0.8f};
    matrix44 offset_;
    bool offsetChanged_ = false;
    vector3 offsetPos_;
    quaternion offsetQuat_;
    nPathRef<nRoot> target_;
    bool targetLogged_ = false;
    // Placed for the view at this node time.
    bool placed_ = false;
    float placedAt_ = 0.0f;
};
