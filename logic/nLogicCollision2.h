#pragma once
// A visual logic node with collision (script class "nlogiccollision2"): named collision
// states whose modules keep the node's collide shapes in contexts of the collide server
// ("picking", "trigger", "damage", ...) and follow the node each frame. The logic graph
// asks it to analyse its contacts after the collide server found them; here that does
// nothing. Physics nodes, cameras, triggers, boids and the game's zones derive from it.
#include "kernel/nPathRef.h"
#include "logic/nLogicVisual2.h"

class nCollideServer2;
class nModCollisionState;

class nLogicCollision2 : public nLogicVisual2 {
public:
    static const nClassInfo classInfo;

    // Makes the collision state "picking" in the collide context "picking".
    nLogicCollision2();
    ~nLogicCollision2() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Collision on and at least one collision module listed.
    bool HasCollision() const override { return collision_ && collisionCount_ > 0; }
    // Type 2: the collision state of that name, made when absent.
    nModuleState* CreateModuleState(int stateType, const char* name) override;
    bool MakesModuleState(int stateType) const override;
    // Collision states are made on demand; the count follows what the lists gained or lost.
    void AddModule(int stateType, const char* stateName, const char* moduleName) override;
    void RemoveModule(int stateType, const char* stateName, const char* moduleName) override;
    // Every collision state takes the node's time and, while the node has collision,
    // registers its modules' shapes at `world`.
    void UpdateModules(const matrix44& world) override;

    void SetCollision(bool on) { collision_ = on; }
    bool GetCollision() const { return collision_; }
    // A state the node does not have is logged and nothing changes; an unknown context
    // leaves the state colliding with nothing.
    void SetCollContext(const char* stateName, const char* contextName);
    // Null for a state without context (or an unknown state, logged).
    const char* GetCollContext(const char* stateName);
    void AddCollision(const char* stateName, const char* moduleName) { AddModule(2, stateName, moduleName); }
    void RemoveCollision(const char* stateName, const char* moduleName) { RemoveModule(2, stateName, moduleName); }

    int GetCollisionCount() const { return collisionCount_; }
    nModCollisionState* GetPickingState() const { return pickingState_; }
    // The collision state of that name, null when there is none.
    nModCollisionState* FindCollisionState(const char* name) const;

protected:
    // Each collision state except `skip` takes the node's time and, while the node has
    // collision, registers at `world`.
    void CollideStates(const matrix44& world, const nModuleState* skip = nullptr);
    // False for a collision state that something else places each frame (a car's
    // wheels): CollideStates then leaves it out.
    virtual bool FollowsNode(const nModuleState* /*state*/) const { return true; }

private:
    nModCollisionState* CollisionState(const char* stateName, const char* command);

    bool collision_ = true;
    int collisionCount_ = 0;
    nPathRef<nCollideServer2> refCollide_{"/sys/servers/collide2"};
    nModCollisionState* pickingState_ = nullptr;
};
