#pragma once
// The module base of everything placed at an offset from its logic node (script class
// "nmodtransformer"): a local position, scale and rotation, the matrix built from them on
// demand, and the module's world matrix for a node. Never run by a state by itself.
#include "kernel/matrix44.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"
#include "logic/nModule.h"

class nModTransformer : public nModule {
public:
    static const nClassInfo classInfo;

    nModTransformer();
    ~nModTransformer() override;
    bool SaveCmds(nPersistServer* ps) override;

    virtual void SetScale(const vector3& s);

    void SetPosition(const vector3& p);
    const vector3& GetPosition() const { return position_; }
    const vector3& GetScale() const { return scale_; }
    // Angles in radians, about x, then y, then z; kept as the quaternion of that matrix.
    void SetRot(float x, float y, float z);
    // Stored as given, not normalised.
    void SetQuaternion(const quaternion& q);
    const quaternion& GetQuaternion() const { return rotation_; }

    // Rebuilds the local matrix when a setter changed it.
    void UpdateMatrix();
    const matrix44& GetMatrix() {
        UpdateMatrix();
        return matrix_;
    }
    bool IsIdentity() {
        UpdateMatrix();
        return identity_;
    }
    bool IsDirty() const { return dirty_; }
    // The module's world matrix for a node at `nodeWorld`: the local matrix first, then
    // the node's; the node's unchanged when the local matrix is exactly the identity.
    matrix44 WorldMatrix(const matrix44& nodeWorld);

private:
    matrix44 matrix_;
    bool dirty_ = false;
    bool identity_ = true;
    vector3 position_;
    vector3 scale_{1.0f, 1.0f, 1.0f};
    quaternion rotation_;
};
