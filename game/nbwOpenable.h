#pragma once
// What switches and doors share: an item that opens and closes. Its open status (0
// closed .. 1 open) follows the animator states "door_open" and "door_close" (scripts
// hang the animations on them), reaches the visual as the node variable "door_open",
// and lives through level loads and save games as "openstatus" in the persistent store.
// Opening and closing announce "door_open" and "door_close". Not a script class of its
// own: "nbwswitch" and "nbwdoor" both register under "nbwitem".
#include "game/nbwItem.h"

class nLogicEventHandler;
class nModAnimatorState;

class nbwOpenable : public nbwItem {
public:
    nbwOpenable();
    ~nbwOpenable() override;
    // The item's lines, then "v_setopen_b".
    bool SaveCmds(nPersistServer* ps) override;
    // The item's variables, then "openstatus" 1 (open at all) or 0.
    void StoreToPersist(nPersistLogic* store) override;
    // The item's, then the status from "openstatus" (1.0 or 0.0). An animation the
    // item's handler flags stored running goes on in the next step from the stored pose;
    // otherwise the leaf settles where the status puts it.
    void RestoreFromPersist(nPersistLogic* store) override;
    // The item's step, then the running animation (OpenStep).
    bool Trigger(nLogicGraph* graph) override;
    void UpdateVariables() override;
    void SetNodeVariables() override;

    // Announces "door_open", puts the status at 0, the hitpoints at 0 (through SetFloat,
    // so "ondeath" may follow) and starts the opening animation from time 0.
    void OpenDoor();
    // Announces "door_close", puts the status at 1, the hitpoints back at "maxhitpoints"
    // and starts the closing animation from time 0.
    void CloseDoor();
    // Jumps to open or closed: no event, and a running animation keeps running.
    void SetOpen(bool open) { openStatus_ = open ? 1.0f : 0.0f; }
    bool GetOpen() const { return openStatus_ > 0.0f; }

    float GetOpenStatus() const { return openStatus_; }
    nModAnimatorState* GetOpeningState() const { return openingState_; }
    nModAnimatorState* GetClosingState() const { return closingState_; }
    nLogicEventHandler* GetOpenHandler() const { return openHandler_; }
    nLogicEventHandler* GetCloseHandler() const { return closeHandler_; }

protected:
    // Advances the opening animation by the frame time, or else the closing one; the
    // status follows its share of the state's length. A state of no length ends in its
    // first frame. False when an animator's script released the node.
    bool OpenStep();
    // Queues the event when something is bound to it.
    static void Announce(nLogicEventHandler* handler);
    // The user as an item, null for anything else.
    static nbwItem* AsItem(nRoot* user);

    float openStatus_ = 0.0f;

private:
    // One state's frame: `opening` tells which way the status runs.
    bool Advance(nModAnimatorState* state, bool opening);
    // Puts what the animation moves where it ends, the state left stopped.
    void Settle(nModAnimatorState* state);
    // Runs the state on from the time whose pose lies nearest to the one restored (the
    // latest of equals), the status at that time's share.
    void Resume(nModAnimatorState* state, bool opening);
    // Animates the state at its start, then at `t`; false when an animator's script
    // released this item.
    bool PoseAt(nModAnimatorState* state, float t);
    bool settle_ = false;  // restored: the leaf goes where its status puts it in the next step
    nModAnimatorState* resume_ = nullptr;  // restored running: the swing goes on in the next step

    int statusVar_ = -1;
    nLogicEventHandler* openHandler_ = nullptr;
    nLogicEventHandler* closeHandler_ = nullptr;
    nModAnimatorState* openingState_ = nullptr;
    nModAnimatorState* closingState_ = nullptr;
};
