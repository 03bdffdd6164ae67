#pragma once
// The logic graph fixture with the game's classes: the game package, the collide
// context "damage", the persistent root "/usr/persist", a frame run as the game's
// observer runs one without a display, and a test actor ("ntestactor") that drives its
// queue of actions the way the game's actors do. The graph fixture's recording nodes and
// modules serve as test objects.
#include <string>
#include <vector>

#include "kernel/nRef.h"
#include "logic/nLogicCharacter.h"
#include "tests/logic/GraphFixture.h"

class nbwAction;

// A character with the animations "idle", "swim" and "walk" (indices 0 to 2) and the
// child "actions". Each Trigger, after the character's own, it steps the first child of
// "actions" with the frame time, takes the pose the action gives and releases the
// action once it has run out, and keeps what the step gave for the tests to read.
class nTestActor : public nLogicCharacter {
public:
    static const nClassInfo classInfo;

    void Initialize() override;
    bool Trigger(nLogicGraph* graph) override;

    // The first queued action, null when the queue is empty or its head is no action.
    nbwAction* CurrentAction() const;

    nRef<nRoot> actions;
    // Of the last step: the animation weights right after it, what it added to the
    // weight sum, and the remaining time the action reported.
    std::vector<float> weights;
    float addedWeight = 0.0f;
    float remaining = 0.0f;
    int steps = 0;
    int released = 0;
};

class GameTestKernel : public GraphFixture {
protected:
    void SetUp() override;

    // One frame of `dt` seconds as the game's observer runs it without a display: the
    // game clock advances, "gametime" and "frametime" are written, the events queued in
    // the last frame fire, then the logic frame runs (LogicFrame).
    void GameFrame(float dt);
    // A test actor at `path` (made active under its parent).
    nTestActor* NewActor(const char* path);
    // An action named `name` queued last in the actor's "actions".
    nbwAction* NewAction(nTestActor* actor, const char* name);

    nRoot* persist = nullptr;
    double gameTime = 0.0;
};
