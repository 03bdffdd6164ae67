#pragma once
// The game's walking actor (script class "nbwcharacter"): a person on land or in a boat.
// Its body only carries it: the node keeps its own rotation and takes the body's
// translation. Walking pushes it along its horizontal forward direction with a boost
// from standstill, turning rotates the node itself, it jumps, lands (which queues a
// landing action), looks around with two head stats that feed its visual, and pushes the
// boat it sits in. Scripts drive it through the actor's by-name commands only.
#include <string>

#include "game/nbwActor.h"
#include "kernel/nPathRef.h"

class nbwBoat;
class nbwItem;
class nCollideReport;
class nModCollisionState;
class nPhysikBody;
class nPhysikServer;

class nbwCharacter : public nbwActor {
public:
    static const nClassInfo classInfo;

    enum Stat {
        LifePoints = 0, LifeLose, Energie, EnergieLose, MaxLoad, Speed, CutToolSkill, SandRemoverSkill,
        DokuToolSkill, BaseSkill, Transparency, Tank, FadeTime, FadeIncr, ZoomState, ZoomScale, Heading, Pitch,
        MoskitoSchutz, Countdown, NumStats
    };
    enum Flag {
        Follow = 0, Human, ShowHand, SinglePlayer, IsMoving, ChemicResist, LowEnergy, LowLife, Flying, Headlight,
        Freeze, NumFlags
    };
    enum Path { Hand = 0, Inventory, Target, NumPaths };
    enum Move {
        Forward = 0, Backward, Left, Right, LookRight, LookLeft, LookUp, LookDown, Run, Jump, NumMoves
    };
    // The move records the frame fades: what a move asked for this frame.
    enum Record { RecForward = 0, RecBackward, RecLeft, RecRight, RecJump, RecRun, NumRecords };
    struct MoveRecord {
        float fadeIn = 1.0f;
        float fadeOut = 1.0f;
        float value = 0.0f;
        bool requested = false;
        int anim = -1;
    };

    // Walking force per unit of forward direction; the run and jump forces.
    static constexpr float WalkForce = 20.0f;
    static constexpr float RunForce = 40.0f;
    static constexpr float JumpForce = 75.0f;
    // Seconds in the air after which touching the ground is a landing.
    static constexpr float LandingAirTime = 0.2f;
    // Friction of a wall contact at a normal y of 1 (never reached: a normal y above
    // GroundNormalY is ground, whose friction is infinite).
    static constexpr float WallFriction = 1.7014118e38f;
    static constexpr float GroundNormalY = 0.6f;

    nbwCharacter();
    ~nbwCharacter() override;

    bool Trigger(nLogicGraph* graph) override;
    void UpdateVariables() override;
    void SetNodeVariables() override;
    void UpdateModules(const matrix44& world) override;
    void AnalyseCollision() override;
    bool StepPhysik(const matrix44& recordWorld) override;

    void PlayMove(int move, const char* text, float power) override;
    // Stores only: a character raises no life or energy events.
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

    // The friction a contact of normal y `ny` gets: a wall's grows with ny, the ground's
    // (ny above GroundNormalY) is infinite.
    static float ContactFriction(float ny);
    // One contact of the character's body with the static world: the landing, then a
    // contact joint with the friction the contact's normal gives. A contact with another
    // body is logged once and skipped.
    void CalculateCollision(const nCollideReport& contact);

    // The boat the character sits in; no script command sets it.
    void SetBoat(nbwBoat* boat);
    nbwBoat* GetBoat();
    MoveRecord& GetRecord(int i) { return records_[i]; }
    float GetAirTime() const { return airTime_; }
    float GetLastLook() const { return lastLook_; }
    const char* GetRightHand() const { return rightHand_.c_str(); }
    const matrix44& GetLastPhysikMatrix() const { return lastPhysik_; }
    nModCollisionState* GetItemZoneState() const { return itemZone_; }

private:
    // The body the frame's physics step moves, null without one.
    nPhysikBody* Body();
    // True for an index inside a table of `n`; else logged for `op`.
    bool InTable(int index, int n, const char* op) const;
    // The object under a path when it is an item, else null (a set path naming another
    // class is logged once).
    nbwItem* ItemAt(int path);
    // The node's matrix with its own rotation and `t` as its translation.
    matrix44 OwnRotationAt(const vector3& t);
    void AddLanding();
    void FindNearestItem();

    nRef<nRoot> nearItem_;
    float lastLook_ = 0.0f;
    float airTime_ = 0.0f;
    int headingVar_ = -1, headlightVar_ = -1, pitchVar_ = -1, rightHandVar_ = -1, transparencyVar_ = -1;
    std::string rightHand_;
    nRef<nbwItem> handItem_;
    nRef<nbwBoat> boat_;
    // Added to the forward push; nothing sets it.
    vector3 walk_;
    matrix44 lastPhysik_;
    nScriptEvent* deathEvent_ = nullptr;
    nScriptEvent* lowEnergyEvent_ = nullptr;
    nScriptEvent* lowLifeEvent_ = nullptr;
    nScriptEvent* nearestEvent_ = nullptr;
    nScriptEvent* itemChangedEvent_ = nullptr;
    nModCollisionState* itemZone_ = nullptr;
    nModCollisionState* item_ = nullptr;
    nModCollisionState* trigger_ = nullptr;
    nModCollisionState* damage_ = nullptr;
    MoveRecord records_[NumRecords];
    nPathRef<nPhysikServer> physikRef_{"/sys/servers/physik"};
    bool hadContacts_ = false;
    bool bodyContactLogged_ = false;
    bool badPathLogged_ = false;
};
