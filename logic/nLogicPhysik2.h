#pragma once
// A collision logic node moved by a rigid body (script class "nlogicphysik2"): its
// physics state "physik" holds the body, built each frame from the node's physics
// modules; its collision state "physik" in the collide context "physik" finds the
// contacts that become contact joints. After the world step the node takes the body's
// matrix; a body that has not moved for 10 s rests until something wakes it.
#include "kernel/nPathRef.h"
#include "kernel/vector3.h"
#include "logic/nLogicCollision2.h"

class nClass;
class nCollideReport;
class nModPhysikState;
class nPhysikBody;
class nPhysikServer;

class nLogicPhysik2 : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;

    // At most this many contacts of a frame become joints: the deepest.
    static constexpr int MaxContacts = 12;
    // A contact deeper than this wakes a resting physics partner.
    static constexpr float WakeDepth = 0.05f;
    // A matrix element moving more than this from where the rest clock started keeps
    // the body awake...
    static constexpr float RestTolerance = 0.08f;
    // ...and a body still for longer than this many seconds rests.
    static constexpr float RestTime = 10.0f;

    nLogicPhysik2();
    ~nLogicPhysik2() override;
    bool SaveCmds(nPersistServer* ps) override;

    // A woken node turns its physics on, then the frame's contacts are forgotten.
    bool Trigger(nLogicGraph* graph) override;
    bool HasPhysik() const override { return physik_ && physikCount_ > 0; }
    // Type 4: the physics state of that name, made when absent.
    nModuleState* CreateModuleState(int stateType, const char* name) override;
    bool MakesModuleState(int stateType) const override;
    void AddModule(int stateType, const char* stateName, const char* moduleName) override;
    void RemoveModule(int stateType, const char* stateName, const char* moduleName) override;
    // Collision states as the base does, then the body is rebuilt and listed and the
    // physics shapes registered.
    void UpdateModules(const matrix44& world) override;
    // The frame's contacts of the physics shapes become contact joints.
    void AnalyseCollision() override;
    // Takes the body's matrix after the world step; true when the node moved.
    bool StepPhysik(const matrix44& recordWorld) override;

    // Keeps the first MaxContacts of `list`, each further one replacing the shallowest
    // kept when deeper; returns the number kept.
    static int KeepDeepest(nCollideReport* const* list, int n, nCollideReport** kept);
    // Contact joints for the kept contacts whose first object is this node's (with
    // `own`, one of `own`'s), pushing `body` (the node's own body when null).
    void JoinContacts(nCollideReport* const* kept, int n, const nModuleState* own = nullptr,
                      nPhysikBody* body = nullptr);
    // The physics state whose body answers for a contact of `collisionState`, one of this
    // node's: the physics state of the same name (a car's wheel), else "physik".
    nModPhysikState* PhysikStateFor(const nModuleState* collisionState) const;
    // The body's matrix with each rotation row of unit length.
    static matrix44 NormalisedMatrix(nPhysikBody* body);

    void SetPhysik(bool on) { physik_ = on; }
    bool GetPhysik() const { return physik_; }
    void AddPhysik(const char* stateName, const char* moduleName) { AddModule(4, stateName, moduleName); }
    void RemovePhysik(const char* stateName, const char* moduleName) { RemoveModule(4, stateName, moduleName); }
    // An unknown parameter name is logged and changes nothing; its getter answers 0.
    void SetContactParam(const char* name, float value);
    float GetContactParam(const char* name);
    void SetGravity(bool on);
    bool GetGravity();
    // "linear" or "angular"; another word is logged, changes nothing and answers 0.
    void SetMaxVelocity(const char* which, float value);
    float GetMaxVelocity(const char* which);

    nModPhysikState* GetPhysikState() const { return physikState_; }
    nModCollisionState* GetPhysikCollisionState() const { return physikCollisionState_; }
    int GetPhysikCount() const { return physikCount_; }
    bool GetWake() const { return wake_; }
    void SetWake(bool on) { wake_ = on; }
    float GetRestTime() const { return restTime_; }
    const vector3& GetMotion() const { return motion_; }
    bool HadContacts() const { return hadContacts_; }

protected:
    // The joint of one kept contact, against `other`'s body or the world (null); a subclass
    // may lend the body another surface for it.
    virtual void JoinContact(nPhysikServer* server, nPhysikBody* body, nPhysikBody* other, const nCollideReport& r);
    // Whether a contact with `partner` becomes a contact joint; every partner does here.
    virtual bool JoinsPartner(const nLogicNode* /*partner*/) const { return true; }
    // The node takes the body's matrix (normalised rows; under a moved parent the
    // parent's world matrix taken out again) and keeps how far the body is from
    // `recordWorld` as the motion; returns the body's matrix.
    matrix44 FollowBody(const matrix44& recordWorld);
    // Between two physics steps of one frame: the physics shapes move on to where the body
    // is now and what they meet there becomes contact joints for the next step, as the
    // frame's own contacts did for the first.
    void JoinContactsWithinFrame();

private:
    // The index of a contact parameter's name; -1 (logged for `command`) for another.
    int ContactParamIndex(const char* name, const char* command) const;
    float* MaxVelocity(const char* which, const char* command);

    bool physik_ = true;
    int physikCount_ = 0;
    float restTime_ = 0.0f;
    bool wake_ = false;
    nPathRef<nPhysikServer> physikRef_{"/sys/servers/physik"};
    nClass* physik2Class_ = nullptr;
    nModPhysikState* physikState_ = nullptr;
    nModCollisionState* physikCollisionState_ = nullptr;
    vector3 motion_;
    bool hadContacts_ = false;
    // Where the body was when the rest clock last started.
    matrix44 restAnchor_;
    bool restAnchorSet_ = false;
};
