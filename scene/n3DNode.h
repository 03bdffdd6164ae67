#pragma once
// The node that places its subtree (script class "n3dnode"): a local transform of
// translation, Euler angles or a quaternion, and scale; on Attach it opens a scene node,
// puts the accumulated matrix into it and attaches its children there. It culls its
// subtree by the "lod" and "detail" channels, and can face the viewer (sprite,
// billboard), stand at the viewer (lock viewer) or ignore its parents (view space).
#include <cstdint>

#include "kernel/matrix44.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"
#include "scene/nVisNode.h"

struct nSceneNodeRecord;

class n3DNode : public nVisNode {
public:
    static const nClassInfo classInfo;

    enum Flag : uint16_t {
        Dirty = 0x0001,
        MatrixDirect = 0x0002,
        Sprite = 0x0004,
        Billboard = 0x0008,
        LockViewer = 0x0010,
        QuaternionMode = 0x0020,
        Active = 0x0040,
        HighDetail = 0x0080,
        ViewSpace = 0x0100,
    };

    n3DNode();

    // Only what differs from a new node.
    bool SaveCmds(nPersistServer* ps) override;
    // Skipped while inactive; false when the scene graph has no room for the node.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Puts local x parent (or local alone in view space), turned for sprite or
    // billboard, into the current scene node.
    void Compute(nSceneGraph2* sceneGraph) override;
    // "lod", and "detail" unless high detail is on.
    void CollectChannels(nChannelSet* set) override;

    void SetActive(bool on) { setFlag(Active, on); }
    bool GetActive() const { return flags_ & Active; }
    void SetMaxLod(float lod) { maxLod_ = lod; }
    float GetMaxLod() const { return maxLod_; }
    // The channels the subtree reads change: the ancestors collect them again.
    void SetHighDetail(bool on);
    bool GetHighDetail() const { return flags_ & HighDetail; }
    void SetSprite(bool on) { setFlag(Sprite, on); }
    bool GetSprite() const { return flags_ & Sprite; }
    void SetBillboard(bool on) { setFlag(Billboard, on); }
    bool GetBillboard() const { return flags_ & Billboard; }
    void SetLockViewer(bool on) { setFlag(LockViewer, on); }
    bool GetLockViewer() const { return flags_ & LockViewer; }
    void SetViewSpace(bool on) { setFlag(ViewSpace, on); }
    bool GetViewSpace() const { return flags_ & ViewSpace; }

    // The setters of the script commands, for other classes too. Angles are degrees,
    // stored as radians.
    void Txyz(float x, float y, float z);
    void Tx(float x);
    void Ty(float y);
    void Tz(float z);
    void Rxyz(float x, float y, float z);
    void Rx(float x);
    void Ry(float y);
    void Rz(float z);
    void Qxyzw(float x, float y, float z, float w);
    void Sxyz(float x, float y, float z);
    void Sx(float x);
    void Sy(float y);
    void Sz(float z);
    const vector3& GetT() const { return translation_; }
    // Degrees.
    vector3 GetR() const;
    const vector3& GetS() const { return scale_; }
    const quaternion& GetQ() const { return quat_; }

    // Sets the local matrix whole: Compute uses it unchanged until a transform setter
    // is called again.
    void SetLocalMatrix(const matrix44& m);
    // The local matrix, rebuilt first when a setter changed it.
    const matrix44& GetLocalMatrix();
    // Rebuilds the local matrix when dirty (and not set whole): scale, then rotate about
    // x, y, z (or by the quaternion), then translate.
    void UpdateMatrix();
    uint16_t GetFlags() const { return flags_; }

private:
    // Local x parent record's matrix (with the sprite, billboard, lock-viewer and
    // view-space rules) into `rec`.
    void computeMatrix(nSceneGraph2* sceneGraph, nSceneNodeRecord* rec);
    void setFlag(uint16_t flag, bool on) { flags_ = on ? uint16_t(flags_ | flag) : uint16_t(flags_ & ~flag); }
    // After a change of translation or scale.
    void touched() { flags_ = uint16_t((flags_ | Dirty) & ~MatrixDirect); }
    // After a change of the Euler angles.
    void turned() { flags_ = uint16_t((flags_ | Dirty) & ~(MatrixDirect | QuaternionMode)); }

    matrix44 local_;
    vector3 translation_;
    vector3 rotation_;  // radians
    vector3 scale_{1.0f, 1.0f, 1.0f};
    quaternion quat_;
    float maxLod_ = 0.0f;
    uint16_t flags_ = Dirty | Active | HighDetail;
    // Global channel indices, -1 until the channels are collected.
    int lodChannel_ = -1;
    int detailChannel_ = -1;
};
