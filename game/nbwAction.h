#pragma once
// One timed step of an actor (script class "nbwaction"): it blends one of the actor's
// animations in and out over its duration, moves and turns the actor by an offset over
// that time and runs script lines at given moments. Actions queue as children of the
// actor's "actions" node; the actor drives the first one each frame through Update and
// releases it once Update reports it has run out, which makes the next one current.
#include <string>
#include <vector>

#include "kernel/matrix44.h"
#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"

class nLogicCharacter;
class nScriptServer;

class nbwAction : public nRoot {
public:
    static const nClassInfo classInfo;

    enum PlayDir { Forward = 0, Backward = 1 };
    enum Blocking { BlockNone = 0, BlockMovement = 1 };
    // More timed scripts than this are refused: a bad count must not take all memory.
    static constexpr int MaxScripts = 4096;

    struct TimedScript {
        std::string text;
        float time = 0.0f;
        nScriptServer::Origin origin = nScriptServer::Origin::Person;
    };

    bool SaveCmds(nPersistServer* ps) override;

    // One step of `dt` seconds for `actor`. `m` receives the pose the actor is to take
    // (its matrix when the step began, without an offset), `remaining` the time past the
    // action's end: the caller sets the actor's matrix from `m` and releases the action
    // when `remaining` > 0. The first step takes the actor's pose as the start; an
    // animation the actor lacks is logged there and every step then leaves the actor
    // where it stands with `remaining` > 0. Timed scripts run last, with the actor as
    // the kernel's current object. Returns false when one of them deleted this action:
    // the caller must not touch it then (`m` and `remaining` are still set).
    bool Update(matrix44& m, nLogicCharacter* actor, float dt, float& remaining);

    // Fades the action out over `fade` seconds from the current runtime (a later call
    // starts the fade again), unless the fade would pass the duration: then the action
    // ends by itself. With `clearQueue` every action waiting after this one is released.
    void Abort(float fade, bool clearQueue);

    // Replaces the table by n entries of time 0 and empty text; a count below 0 or above
    // MaxScripts is logged and changes nothing. Returns n.
    float BeginScripts(int n);
    // An index outside the table is logged and changes nothing.
    void SetScript(int index, float time, const char* text);
    // Orders the entries by time; entries of equal time keep their order.
    void EndScripts();

    // Values that are not finite are logged and change nothing: no NaN may reach a pose
    // or a weight.
    void SetOffsetPosition(float x, float y, float z);
    void SetOffsetRotation(float x, float y, float z, float w);
    void SetDuration(float seconds);
    void SetFade(float in, float out);
    void SetRuntime(float seconds);
    void SetAnimation(const char* name);
    // "forward" / "backward"; any other text leaves the value unchanged.
    void SetPlayDir(const char* name);
    const char* GetPlayDirName() const;
    // "none" / "movement"; any other text leaves the value unchanged. Only set, reported
    // and saved: nothing else reads it.
    void SetBlocking(const char* name);
    const char* GetBlockingName() const;

    const vector3& GetOffsetPosition() const { return offsetPos_; }
    const quaternion& GetOffsetRotation() const { return offsetRot_; }
    bool HasOffset() const { return hasOffset_; }
    float GetDuration() const { return duration_; }
    float GetFadeIn() const { return fadeIn_; }
    float GetFadeOut() const { return fadeOut_; }
    float GetRuntime() const { return runtime_; }
    const char* GetAnimation() const { return animation_.c_str(); }
    int GetPlayDir() const { return playDir_; }
    int GetBlocking() const { return blocking_; }
    int GetNumScripts() const { return int(scripts_.size()); }
    // Data's when data's text set any of the scripts: the action's text is then data's.
    nScriptServer::Origin GetOrigin() const;
    const TimedScript& GetScript(int index) const { return scripts_[size_t(index)]; }
    bool IsStarted() const { return started_; }
    bool IsAborting() const { return aborting_; }
    // The animation found at the start, -1 before or when there was none.
    int GetAnimIndex() const { return animIndex_; }

private:
    void Start(nLogicCharacter* actor);
    float Weight() const;
    float Remaining() const;
    // The pose at `t` (0 start, 1 end) between the start and the end pose.
    matrix44 Interpolate(float t) const;
    // False when a script deleted this action.
    bool RunDueScripts(nLogicCharacter* actor);

    bool started_ = false;
    vector3 offsetPos_;
    quaternion offsetRot_;
    matrix44 startMatrix_;
    matrix44 endMatrix_;
    // The parts of the start pose and the end rotation, taken once at the start.
    quaternion startRot_, endRot_;
    vector3 startScale_{1.0f, 1.0f, 1.0f};
    bool hasOffset_ = false;
    std::string animation_;
    int animIndex_ = -1;
    float duration_ = 0.0f;
    float fadeIn_ = 0.2f, fadeOut_ = 0.2f;
    float runtime_ = 0.0f;
    int playDir_ = Forward;
    int blocking_ = BlockMovement;
    std::vector<TimedScript> scripts_;
    nDataCharge charge_;  // the scripts that data set
    nDataCharge tableCharge_;  // the table that data sized
    int nextScript_ = -1;
    bool aborting_ = false;
    float abortFade_ = 0.0f;
    float abortStart_ = 0.0f;
    nPathRef<nScriptServer> scriptRef_{"/sys/servers/script"};
};
