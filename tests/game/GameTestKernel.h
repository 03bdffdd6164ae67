#pragma once
// The logic graph fixture with the game's classes: the game package, the collide
// context "damage", the persistent root "/usr/persist", a frame run as the game's
// observer runs one without a display, and a test actor ("ntestactor") that drives its
// queue of actions the way the game's actors do. The graph fixture's recording nodes and
// modules serve as test objects.
#include <string>
#include <vector>

#include "kernel/nRef.h"
#include "game/nbwActor.h"
#include "game/nbwDiver.h"
#include "tests/logic/GraphFixture.h"

class nbwAction;

// An actor with the animations "idle", "swim" and "walk" (indices 0 to 2) and small
// name tables: stats "energie" and "speed", the flag "headlight", paths "hand" and
// "target", moves "forward" and "look right". Its value operations keep the values as
// the game's actors do and it records each PlayMove. Each Trigger, after the
// character's own, it steps the first child of "actions" with the frame time, takes the
// pose the action gives and releases the action once it has run out, and keeps what the
// step gave for the tests to read.
class nTestActor : public nbwActor {
public:
    static const nClassInfo classInfo;
    enum Path { Hand = 0, Target = 1 };

    void Initialize() override;
    bool Trigger(nLogicGraph* graph) override;

    void PlayMove(int move, const char* text, float power) override;
    void SetStat(int index, float value) override { StoreStat(index, value); }
    float GetStat(int index) override { return StoredStat(index); }
    void SetFlag(int index, bool on) override { StoreFlag(index, on); }
    bool GetFlag(int index) override { return StoredFlag(index); }
    void SetPath(int index, const char* path) override { StorePath(index, path); }
    nRoot* GetPath(int index) override { return LookupStoredPath(index); }
    const char* const* GetMoveNames() const override;
    const char* const* GetStatNames() const override;
    const char* const* GetPathNames() const override;
    const char* const* GetFlagNames() const override;

    // The first queued action, null when the queue is empty or its head is no action.
    nbwAction* CurrentAction();

    struct Move {
        int index;
        std::string text;
        float power;
    };
    std::vector<Move> moves;
    // Of the last step: the animation weights right after it, what it added to the
    // weight sum, and the remaining time the action reported.
    std::vector<float> weights;
    float addedWeight = 0.0f;
    float remaining = 0.0f;
    int steps = 0;
    int released = 0;
};

// A diver the level can switch to (script class "ntestswimmer", an "nbwdiver"; it still
// needs its "input" node) that keeps its values as the test actor does, starting from
// none, and does not swim: each Trigger is only the actor's own. Subclasses give it name
// tables of their own.
class nTestSwimmer : public nbwDiver {
public:
    static const nClassInfo classInfo;
    nTestSwimmer();
    bool Trigger(nLogicGraph* graph) override { return nbwActor::Trigger(graph); }
    void SetStat(int index, float value) override { StoreStat(index, value); }
    float GetStat(int index) override { return StoredStat(index); }
    void SetFlag(int index, bool on) override { StoreFlag(index, on); }
    bool GetFlag(int index) override { return StoredFlag(index); }
};

class GameTestKernel : public GraphFixture {
protected:
    void SetUp() override;

    // One frame of `dt` seconds as the game's observer runs it without a display: the
    // game clock advances, "gametime" and "frametime" are written, the events queued in
    // the last frame fire, then the logic frame runs (LogicFrame).
    void GameFrame(float dt);
    // Logic cameras work through the real camera server, and they and input nodes read
    // the input server: replaces the graph fixture's recording camera server with them.
    void UseRealCameraServer();
    // A test actor at `path` (made active under its parent).
    nTestActor* NewActor(const char* path);
    // An action named `name` queued last in the actor's "actions".
    nbwAction* NewAction(nTestActor* actor, const char* name);

    nRoot* persist = nullptr;
    double gameTime = 0.0;
};
