#pragma once
// The game's follow camera (script class "nbwcamera"): every frame it stands at a fixed
// offset in its target's frame, and with a follow delay above 0.6 s it trails the target
// through a matrix history, so that the view follows fast turns smoothly. It keeps out of
// what its target cannot pass (the seabed, rocks, a closed door): where such a shape lies
// between the target and the offset, the camera stands in front of it, and swings up over
// it rather than come too near the target, or round it where no way up is far enough, or
// below it where the water's surface leaves no way round.
// Given another target, or one put elsewhere, it flies from where it stood to the new place
// within the follow delay, bending out round every diver on the way, and cuts to the new
// place where such a shape lies on the straight way or the bend.
#include <string>

#include "kernel/line3.h"
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"
#include "logic/nLogicCamera.h"
#include "logic/nMatrixHistory.h"

class nCollideContext2;
class nCollideObject2;

class nbwCamera : public nLogicCamera {
public:
    static const nClassInfo classInfo;

    nbwCamera();
    ~nbwCamera() override;
    bool SaveCmds(nPersistServer* ps) override;

    // The camera places itself here, before the traversal opens the collide frame: the
    // collide contexts still hold the shapes of the last frame, which the camera keeps
    // out of. Then the camera server's view and the traversal find it placed.
    bool Trigger(nLogicGraph* graph) override;
    // A camera not triggered in this frame places itself when the camera server takes
    // the view, or else in its traversal.
    void PlaceForView() override;
    // Placed before the traversal brought in its target's shapes, the camera places itself
    // again from the same trail now that they are known.
    bool PlaceAfterTraversal() override;
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
    // Placed at this node time already, else placed now.
    void PlaceOnce();
    // Stands at `wanted_` kept clear of what the target's way meets (flying there when a
    // flight is on) and takes that place.
    void Settle(nRoot* target);
    // Whether the target's own shapes are among the context's: they are from the first
    // traversal that met the target on.
    static bool Registered(nCollideContext2* ctx, nRoot* target);
    const matrix44& OffsetMatrix();
    // Moves the place of `m` back towards `from` to in front of the nearest shape on the
    // way that the class of the target's collision state "physik" meets exactly in that
    // state's context (the target's own shapes aside), and off its surface by the margin;
    // where that leaves it nearer than MinDistance, swings it up about `from`, and where
    // no swing up is far enough, turns it about the vertical through `from` as well, and
    // else swings it down.
    void KeepClear(matrix44& m, const vector3& from, nRoot* target);
    // How far from `from` the camera stands clear towards the unit `dir` swung about the
    // unit `axis` by `swing`, at most `toEnd` (straight up or down): the least swing that
    // stands `enough` off, else the one that stands furthest (0 where the way itself does).
    float Swing(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& from, const vector3& dir,
                const vector3& axis, float toEnd, float len, float enough, float& swing);
    // The collide context the target's way is looked at in (its physik collision state's)
    // and the class it meets there with; null when the target has none.
    nCollideContext2* WayOf(nRoot* target, int& classIndex);
    // The flight's place at its share `s` of the way from its start to `m` (eased, the view
    // turned between the two), into `m`; the flight ends (`m` kept) past its end, where the
    // way is blocked, or where its place comes to a body.
    void Fly(matrix44& m, nRoot* target, float s);
    // `along` on the way from `from` along the unit `dir`, cut back so that its end stays
    // the near plane's reach under what the target meets above it.
    float BelowWhatIsAbove(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& from,
                           const vector3& dir, float along);
    // How far above `p`, at most the near plane's reach, lies what the target meets.
    float Headroom(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& p);
    // Whether `p` lies in the room of a body the physics moves (a diver, the target too).
    bool InBody(nRoot* target, const vector3& p);
    // `p`, the flight's place at its eased share `share` from `start`, pushed out from each
    // body the physics moves (the target too) to MinDistance from its owner's middle.
    vector3 RoundBodies(nRoot* target, const vector3& p, const vector3& start, float share);
    // Object `i` of the context's static, then dynamic ones when it is a body the physics
    // moves with a shape the class meets exactly; null otherwise. Such a body's room is its
    // shape's sphere grown by the margin.
    static nCollideObject2* Body(nCollideContext2* ctx, int classIndex, int i);
    // How far from `from` along the unit `dir`, at most `len`, the way stays out of the
    // room of a body other than the target's.
    float BodyWay(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& from, const vector3& dir,
                  float len);
    // Whether a fixed shape that the target meets exactly lies on the segment.
    bool Blocked(nRoot* target, const vector3& from, const vector3& to);
    // The distance from the line's start to the nearest hit on it of a shape the class
    // meets exactly in `ctx`, and the hit's normal; false when nothing is hit. Bodies the
    // physics moves never count; with `fixedOnly` nothing that moves this frame does.
    bool NearestHit(nCollideContext2* ctx, int classIndex, nRoot* target, const line3& line, bool fixedOnly,
                    float& nearestDist, vector3& nearestNormal);
    // How far from `from` along the unit `dir`, at most `len`, the camera stands clear of
    // what the target's class meets in `ctx` and out of the other bodies' rooms, with its
    // near plane under what lies above it.
    float FreeWay(nCollideContext2* ctx, int classIndex, nRoot* target, const vector3& from, const vector3& dir,
                  float len);
    // Whether the segment comes within `radius` of `centre`.
    static bool Near(const line3& line, const vector3& centre, float radius);

    // A target that moved further in one frame than this was put there, not swum.
    static constexpr float JumpDistance = 2.0f;
    // How far the camera keeps off a surface it would be behind.
    static constexpr float ClearMargin = 0.4f;
    // How often one shape's line check is repeated on the shortened way.
    static constexpr int MaxNearerHits = 16;
    // Kept off the target at least this far where a way up allows it...
    static constexpr float MinDistance = 2.5f;
    // ...looked for in this many steps up to straight above the target, and the first
    // step far enough halved this often towards the last one too near.
    static constexpr int SwingSteps = 8;
    static constexpr int SwingRefines = 5;

    nMatrixHistory history_{5.0f, 0.1f};
    float elasticity_[2] = {0.8f, 0.8f};
    matrix44 offset_;
    bool offsetChanged_ = false;
    vector3 offsetPos_;
    quaternion offsetQuat_;
    nPathRef<nRoot> target_;
    bool targetLogged_ = false;
    // The target placed for last and its place then.
    nRef<nRoot> placedTarget_;
    vector3 targetAt_;
    bool hasPlace_ = false;
    // A flight from the camera's place `flightFrom_` that began at `flightStart_`.
    bool flying_ = false;
    float flightStart_ = 0.0f;
    matrix44 flightFrom_;
    // Where the trail puts the camera this frame before it keeps clear, how far the flight
    // is, and the place the last frame was drawn from.
    matrix44 wanted_;
    float flightShare_ = 0.0f;
    vector3 drawnFrom_;
    // How far the corners of the view's near plane lie from the camera.
    float nearReach_ = 0.1732f;
    // Placed without its target's shapes in the context.
    bool blind_ = false;
    // Placed for the view at this node time.
    bool placed_ = false;
    float placedAt_ = 0.0f;
};
