#pragma once
// A physics logic node that can be the current camera (script class "nlogiccamera"):
// while current it turns the last mouse position into a picking ray through its
// "picking" collision state. The observer and person cameras derive from it.
#include "kernel/nPathRef.h"
#include "kernel/vector3.h"
#include "logic/nLogicPhysik2.h"

class nCameraServer;
class nInputServer;

class nLogicCamera : public nLogicPhysik2 {
public:
    static const nClassInfo classInfo;

    nLogicCamera();
    ~nLogicCamera() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Current or not, the last mouse move of the frame and the pick point, then the
    // physics node's step.
    bool Trigger(nLogicGraph* graph) override;
    // A built picking ray of the current camera counts as collision.
    bool HasCollision() const override;
    // The picking ray in world space, then the physics node's module update.
    void UpdateModules(const matrix44& world) override;
    void AnalyseCollision() override;
    virtual bool AcceptPick(int /*mouseX*/, int /*mouseY*/) { return true; }
    // Called by the camera server just before it takes the view from this current camera:
    // a camera that places itself each frame does it here, so the view is this frame's.
    virtual void PlaceForView() {}
    // Called by the camera server once the traversal has registered the frame's shapes: a
    // camera that placed itself without the shapes it keeps clear of places itself again.
    // True when it did (the view is then taken again).
    virtual bool PlaceAfterTraversal() { return false; }

    // Makes this the camera server's current camera.
    void SetCurrent();
    bool IsCurrent();
    void SetPickEnable(bool on);
    bool GetPickEnable() const;
    void SetPickDistance(float d) { pickDistance_ = d; }
    float GetPickDistance() const { return pickDistance_; }

    bool GetPickHit() const { return pickHit_; }
    const vector3& GetPickPoint() const { return pickPoint_; }
    const vector3& GetRayOrigin() const { return rayOrigin_; }
    const vector3& GetRayDirection() const { return rayDirection_; }
    int GetMouseX() const { return mouseX_; }
    int GetMouseY() const { return mouseY_; }

protected:
    // The mouse bookkeeping of the steering cameras: the last position of this frame's
    // mouse moves and its change since the last frame that saw one.
    struct MouseDelta {
        int prevX = 0, prevY = 0, curX = 0, curY = 0, dx = 0, dy = 0;
        void Update(nInputServer* input);
    };
    nCameraServer* GetCameraServer();
    nInputServer* GetInputServer();
    // Whether the input state of that name is on; a missing state is off.
    bool Button(nInputServer* input, const char* name);

private:
    // False when there is no display or the view volume has no near plane.
    bool BuildPickPoint();

    vector3 pickPoint_;
    bool pickHit_ = false;
    nPathRef<nCameraServer> cameraRef_{"/sys/servers/camera"};
    nPathRef<nInputServer> inputRef_{"/sys/servers/input"};
    vector3 rayOrigin_;
    vector3 rayDirection_;
    bool isCurrent_ = false;
    float pickDistance_ = 1000.0f;
    int mouseX_ = -1;
    int mouseY_ = -1;
};
