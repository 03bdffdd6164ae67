#pragma once
// The collision module (script class "nmodsimplecollision"): gives its logic node one
// collide object, registered in the collision state's context every frame at the node's
// world matrix, either among the moving objects with its motion over the frame or among
// the resting ones. Its shape is a "quick" sphere of the module's radius, shared by name
// with every module of the same radius.
#include "collide/nCollideObject2.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nString.h"
#include "logic/nModTransformer.h"

class nCollideServer2;
class nCollideShape2;

class nModSimpleCollision : public nModTransformer {
public:
    static const nClassInfo classInfo;

    nModSimpleCollision();
    ~nModSimpleCollision() override;
    bool SaveCmds(nPersistServer* ps) override;
    int GetType() const override { return Collision; }
    // Only (1, 1, 1): a collide shape does not scale; anything else is logged and ignored.
    void SetScale(const vector3& s) override;

    void Collide(nLogicNode* owner, nModCollisionState* state, const matrix44& world, float time) override;
    void SetMatrix(const matrix44& world) override;
    // Moves this frame's object on to `world` within the frame (its motion from where it
    // stood); null when it has no shape to collide with.
    nCollideObject2* MoveWithinFrame(const matrix44& world);

    void SetRadius(float r);
    float GetRadius() const { return radius_; }
    // An undeclared class is logged by the server and gives class -1 (collides with nothing).
    void SetCollClass(const char* name);
    const char* GetCollClass() const { return collClass_.Get(); }
    void SetDynamic(bool on) { dynamic_ = on; }
    bool GetDynamic() const { return dynamic_; }
    void SetSizeable(bool on) { sizeable_ = on; }
    bool GetSizeable() const { return sizeable_; }
    void SetColor(float r, float g, float b, float a);
    void SetDebugMove(const vector3& v) { debugMove_ = v; }

    const nCollideObject2& GetCollObject() const { return collObject_; }
    nCollideShape2* GetShape() const { return shape_.GetUnsafe(); }
    // The module's shape, made now when no frame has asked for it yet; null when it has
    // none or it cannot be built (logged once, as a frame would).
    nCollideShape2* RequireShape();
    bool HasShape() const { return hasShape_; }
    bool GetMoved() const { return moved_; }
    float GetMotionRatio() const { return motionRatio_; }

protected:
    // The module's shared shape, filled by the first module that asks for its name; null
    // (logged) when it cannot be built.
    virtual nCollideShape2* CreateShape();
    // Whether the object moves this frame.
    virtual bool NeedsUpdate() { return dynamic_; }
    // Drops the shape; the next frame asks for it again.
    void ReleaseShape();
    void MarkShapeSet() { hasShape_ = true; shapeFailed_ = false; }
    nCollideServer2* GetServer();

    nCollideObject2 collObject_;

private:
    nPathRef<nCollideServer2> refCollideServer_{"/sys/servers/collide2"};
    nRef<nCollideShape2> shape_;
    nString collClass_;
    bool dynamic_ = false;
    bool sizeable_ = false;
    bool hasShape_ = false;
    // The shape could not be built: nothing registers until a setter gives a new one.
    bool shapeFailed_ = false;
    bool moved_ = false;
    // Handed the body's matrix after a physics step (SetMatrix) since the last frame.
    bool handedOver_ = false;
    float radius_ = 0.0f;
    float motionRatio_ = 0.0f;
    double prevTime_ = 0.0;
    double curTime_ = 0.0;
    vector3 debugMove_;
};
