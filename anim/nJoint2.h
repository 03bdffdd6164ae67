#pragma once
// A transform node that is also a skeleton joint (script class "njoint2"): an offset
// transform places it in its rest pose, chained through parent joints of exactly its
// own class; each frame it turns its animated transform into a skin matrix that the
// skin node applies to the mesh.
#include "kernel/matrix44.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"
#include "scene/n3DNode.h"

class nJoint2 : public n3DNode {
public:
    static const nClassInfo classInfo;

    nJoint2();

    // The transform node's commands, then the offset translation, rotation and scale.
    bool SaveCmds(nPersistServer* ps) override;
    // Rebuilds the offset when changed, then the scene matrix (local x local offset x
    // parent) and the skin matrix (inverse rest x local x rest, x the parent joint's).
    void Compute(nSceneGraph2* sceneGraph) override;

    void SetOffsetTranslation(float x, float y, float z);
    void SetOffsetScale(float x, float y, float z);
    void SetOffsetRotation(float x, float y, float z, float w);
    const vector3& GetOffsetTranslation() const { return offsetT_; }
    const vector3& GetOffsetScale() const { return offsetS_; }
    const quaternion& GetOffsetRotation() const { return offsetQ_; }

    const matrix44& GetRestMatrix() const { return rest_; }
    const matrix44& GetSkinMatrix() const { return skin_; }
    // The copy the skin node reads.
    const matrix44& GetSkinCopy() const { return skinCopy_; }
    const float (&GetNormalMatrix() const)[3][3] { return normal_; }
    // The parent when it is of exactly this node's class (a joint chain); else null.
    nJoint2* GetParentJoint() const;

private:
    void rebuildOffset();

    bool offsetDirty_ = true;
    vector3 offsetT_;
    vector3 offsetS_{1.0f, 1.0f, 1.0f};
    quaternion offsetQ_;
    matrix44 rest_;
    matrix44 localOffset_;
    matrix44 invRest_;
    matrix44 skin_;
    matrix44 skinCopy_;
    float normal_[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};
