#pragma once
// The swimming actor the player steers and scripts send around (script class
// "nbwdiver"): a rigid body in the water pushed by swimming, turning and pitching forces,
// slowed by a quadratic drag, kept upright by a banking couple and within the pitch its
// pitching moves stop at, animated by blending swimming forward and backward (animations
// 1 and 2). Each frame it loses life and energy at the rates scripts set and warns before
// it dies, finds the nearest item in its item zone, leads up to eight followers, fades its
// two transparencies and hands its state to its visual through nine render variables.
#include <string>
#include <vector>

#include "game/nbwActor.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/vector3.h"

class nbwDokuTool;
class nPhysikBody;
class nPhysikServer;
class nModCollisionState;
class nScriptEvent;
class nTimeServer;

class nbwDiver : public nbwActor {
public:
    static const nClassInfo classInfo;

    enum Stat {
        LifePoints = 0,
        LifeLose,
        Energie,
        EnergieLose,
        MaxLoad,
        Speed,
        CutToolSkill,
        SandRemoverSkill,
        DokuToolSkill,
        BaseSkill,
        Transparency,
        Transparency2,
        Tank,
        FadeIncr,
        FadeIncr2,
        FadeTime,
        ZoomState,
        ZoomScale,
        ForwardAccel,
        RotationAccel,
        DraftAccel,
        BankingAccel,
        NumStats
    };
    enum Flag {
        Follow = 0,
        Human,
        ShowHand,
        SinglePlayer,
        IsMoving,
        ChemicResist,
        LowEnergy,
        LowLife,
        HeadLight,
        HeadCamera,
        NumFlags
    };
    enum PathIndex { Hand = 0, Inventory, Target, Leader, NumPaths };
    enum Move { Forward = 0, Backward, Left, Right, Up, Down, Top, Bottom, NumMoves };

    static constexpr int MaxFollowers = 8;
    // Below this life the diver dies (every frame again), below LowLifeLevel it is warned.
    static constexpr float DeathLevel = 0.1f;
    static constexpr float LowLifeLevel = 0.3f;
    static constexpr float LowEnergyLevel = 0.05f;
    // The pitching moves stop when the y of the z row reaches this either way; a diver
    // pushed past it turns back within about this many seconds.
    static constexpr float PitchLimit = 0.9f;
    static constexpr float PitchReturnTime = 0.2f;
    // A nose whose z row's y changed by more than this between two frames was set from
    // outside the physics, and is held where it was set.
    static constexpr float NoseSetFromOutside = 1e-3f;
    // A held nose this near its pitch (in radians), turning slower than this a second, is
    // left to turn on.
    static constexpr float NoseHeldWithin = 1e-4f;
    // A turn about the vertical faster than this (radians a second) swings a pitched nose
    // about a tilted axis, which levels it without anything met.
    static constexpr float SideTurnRate = 0.05f;
    // A contact's normal whose y is below this (25 degrees off the vertical) is steep.
    static constexpr float SteepNormalY = 0.9f;
    static constexpr float SteepFriction = 2.0f;
    // A nose whose z row's y is further from 0 than this is pitched: against something steep
    // the body slides up or down along it, held only sideways.
    static constexpr float SlidePitch = 0.1f;
    // Along a floor or a ceiling the body's friction is at most this.
    static constexpr float FloorFriction = 0.0f;
    // The timers count up to this and stay.
    static constexpr float TimerLimit = 10000.0f;

    nbwDiver();
    ~nbwDiver() override;

    // The per-frame update: life and energy, move fades and swimming animation,
    // followers, the current action (only while no swimming animation shows),
    // fading and the timers.
    bool Trigger(nLogicGraph* graph) override;
    void UpdateVariables() override;
    void SetNodeVariables() override;
    // The collision states, and the documentation tool shown in the hand places its view.
    void UpdateModules(const matrix44& world) override;
    // The documentation tool shown in the hand scores its view first, then the nearest
    // item of the item zone, then the physics contacts (the 12 deepest; no joint with a
    // boid).
    void AnalyseCollision() override;
    // The node takes the body's matrix; a diver without a physics module stays put. The
    // frame's moves are done with.
    bool StepPhysik(const matrix44& recordWorld) override;
    // Its body meets its contacts again before each of a frame's physics steps but the
    // first, and the frame's moves push through every step; the water's drag, the banking
    // and the pitch limit act over each step by its length.
    bool StepsFinely() const override { return true; }
    void SubStep(float step, int index) override;

    // The store's warning flags give way to the stats loaded: a warning the loaded state
    // meets is raised once, whatever the store says was given.
    void RestoreFromPersist(nPersistLogic* store) override;

    void PlayMove(int move, const char* text, float power) override;
    void SetStat(int index, float value) override;
    float GetStat(int index) override;
    void SetFlag(int index, bool on) override;
    bool GetFlag(int index) override;
    void SetPath(int index, const char* path) override;
    nRoot* GetPath(int index) override;
    const char* const* GetMoveNames() const override;
    const char* const* GetStatNames() const override;
    const char* const* GetPathNames() const override;
    const char* const* GetFlagNames() const override;
    nRoot* GetNearItem() override;

    // Remembers a flock's path once.
    void AddFlock(const char* path);
    // Links the diver named by `path` as a follower in the first free slot, offset three
    // units from the leader in its present direction, and sets its "leader". Anything but
    // a diver, or no free slot, is logged and ignored.
    void AddFollower(const char* path);
    void ClearFollowers();
    // Swims towards the point: turns and pitches towards it and swims when it lies
    // ahead, turns when it lies behind. Arrived within 1; beyond 16 the diver stops
    // following its leader.
    void MoveTo(float x, float y, float z);
    // Fades both transparencies to `target` over `time` seconds (at once for 0 or less).
    void FadeTo(float target, float time);
    // Called by attacking fauna: a shock stick in the hand defends, else the diver is hit.
    // True when functions are bound to "onfishattack": they tell of the bite.
    bool FishAttack();

    // Read access for game code and tests.
    nRoot* GetFollower(int slot) const;
    const vector3& GetFollowerOffset(int slot) const { return followers_[size_t(slot)].offset; }
    int GetNumFlocks() const { return int(flocks_.size()); }
    const std::string& GetRightHand() const { return rightHand_; }
    float GetAttackTimer() const { return attackTimer_; }
    float GetDefendTimer() const { return defendTimer_; }
    float GetMoveValue(int move) const { return moves_[size_t(move)].value; }
    nModCollisionState* GetItemZoneState() const { return states_[0]; }

protected:
    bool JoinsPartner(const nLogicNode* partner) const override;
    // Against what is steeper than SteepNormalY (a wall, a rock, a slope) the body's
    // friction grows with how hard it presses, SteepFriction times that: met head on it
    // holds. A pitched diver is held so only sideways: it slides up or down along the wall
    // as its nose points. Along a floor or a ceiling a light friction lets it glide on.
    void JoinContact(nPhysikServer* server, nPhysikBody* body, nPhysikBody* other, const nCollideReport& r) override;
    // The hand object shown in the hand when it is a documentation tool, else null.
    nbwDokuTool* ShownTool() const;

private:
    struct MoveRecord {
        float fadeIn = 1.0f;
        float fadeOut = 1.0f;
        float value = 0.0f;
        bool requested = false;
        int anim = -1;
    };
    struct FollowerSlot {
        nRef<nRoot> follower;
        vector3 offset;
    };

    // Queues the event with the diver's path as its first argument, when bound.
    void Raise(nScriptEvent* event);
    // The object under path `index` when it is of `className`; another object is logged
    // (once per path and object) and counts as none.
    nRoot* PathAs(int index, const char* className, const char* op);
    // The diver under the script's path, null (logged) for nothing or another class.
    nbwDiver* DiverAt(const char* path, const char* op);
    // The right hand follows the hand object by the "showhand" rules.
    void ShowHandObject(nRoot* hand);
    // A move's force at a point of the body, kept for the frame's later physics steps.
    void Push(nPhysikBody* body, const vector3& force, const vector3& at);
    void Drag(nPhysikBody* body, float step);
    void Bank(nPhysikBody* body, const matrix44& m);
    void HoldPitch(nPhysikBody* body, const matrix44& m);
    // After a physics step: the pitch rate no further from 0 than before it, unless the
    // frame's moves pitch the diver.
    void KeepPitch(nPhysikBody* body);
    // Before a physics step of a frame whose moves do not pitch the diver: the turn about
    // the x row that brings the nose back to the pitch it is held at.
    void HoldNose(nPhysikBody* body, const matrix44& m, float step, int index);
    // Before a physics step of a frame with no turn to the side, while the nose is held
    // pitched: the turn about the vertical that keeps the heading.
    void HoldHeading(nPhysikBody* body, const matrix44& m, float step, int index);

    nScriptEvent* deathEvent_ = nullptr;
    nScriptEvent* lowEnergyEvent_ = nullptr;
    nScriptEvent* lowLifeEvent_ = nullptr;
    nScriptEvent* itemChangedEvent_ = nullptr;
    nScriptEvent* nearestEvent_ = nullptr;
    nScriptEvent* stopFollowingEvent_ = nullptr;
    nScriptEvent* fishAttackEvent_ = nullptr;
    // "itemzone", "item", "diver", "trigger", "damage".
    nModCollisionState* states_[5] = {};

    FollowerSlot followers_[MaxFollowers];
    nRef<nRoot> nearItem_;
    nRef<nRoot> lastNearItem_;
    nRef<nRoot> handRef_;
    std::string rightHand_;
    float attackTimer_ = TimerLimit;
    float defendTimer_ = TimerLimit;
    std::vector<std::string> flocks_;
    MoveRecord moves_[NumMoves];
    // What this frame's moves push with, about the body's middle in its own axes.
    vector3 moveForce_;
    vector3 moveTorque_;
    // The body's x row and its turn about it before the last physics step.
    vector3 pitchAxis_;
    float pitchBefore_ = 0.0f;
    float pitchNose_ = 0.0f;
    // The z row's y the nose is held at while no move pitches it, and that y after the
    // last frame's steps (another at the next frame's first step was set from outside).
    bool holdingNose_ = false;
    float heldNose_ = 0.0f;
    float steppedNose_ = 0.0f;
    bool sideTurn_ = false;  // a turn to the side is on: it levels nothing the nose is held at
    // This frame met a floor or a ceiling, the only contacts that may level the held nose.
    bool metFloor_ = false;
    // A pitching move turned the nose last, and no contact has taken the hold over since.
    bool keyPitched_ = false;
    // The nose is held pitched: against a wall the body slides up or down along it.
    bool slides_ = false;
    // The nose is held pitched, and this frame met no floor or ceiling or one tipped it
    // further: what tips or turns it is turned back within the step. The heading (radians about the vertical, from the
    // z row) held while the nose is held pitched, and that heading after the last frame's
    // steps (another at the next frame's first step was set from outside).
    bool firmHold_ = false;
    bool holdingHeading_ = false;
    float heldHeading_ = 0.0f;
    float steppedHeading_ = 0.0f;
    // The render variables, -1 until declared.
    int rightHandVar_ = -1, fxTimeVar_ = -1, tankVar_ = -1, transparencyVar_ = -1, transparency2Var_ = -1,
        headlightVar_ = -1, headcameraVar_ = -1, attackVar_ = -1, defendVar_ = -1;
    // What was last logged about a path's object of another class, by path index.
    std::string refused_[NumPaths];
    nPathRef<nTimeServer> timeRef_{"/sys/servers/time"};
};
