#pragma once
// The trigger zone (script class "nlogictrigger2"): a collision node whose state
// "trigger" in the collide context "trigger" finds the nodes inside its shapes. Each
// analysed frame it announces every intruder's entering, staying and leaving, to the
// script handlers "trigger_enter", "trigger_current", "trigger_leave" (the event object's
// text "intruder" is the node's path) and to the functions bound to "onenter",
// "oncurrent", "onleave" (given the path). It adds no commands and saves what its base
// saves; the intruder list is never saved.
#include <string>

#include "kernel/nArray.h"
#include "logic/nLogicCollision2.h"
#include "logic/nLogicIntruder.h"

class nLogicEventHandler;
class nScriptEvent;

class nLogicTrigger2 : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;

    // Makes the state "trigger" (an unknown context "trigger" is logged: the zone then
    // finds nothing), the three handlers and the three events.
    nLogicTrigger2();
    ~nLogicTrigger2() override;

    // Brings the intruder list up to date with this frame's collisions of the state
    // "trigger" and queues the notifications, which run in the next frame. While no
    // handler has a script nothing happens at all, the list included.
    void AnalyseCollision() override;

    nModCollisionState* GetTriggerState() const { return triggerState_; }
    int GetNumIntruders() const { return intruders_.Size(); }
    const nLogicIntruder& GetIntruder(int i) const { return intruders_[i]; }

private:
    // Marks the node as seen this frame: a new entry, or one seen again.
    void Sighted(nLogicNode* node);
    // Queues `handler` (when it has a script) and raises `event` (when functions are
    // bound to it), both with the intruder's path in path_.
    void Announce(nLogicEventHandler* handler, nScriptEvent* event);

    nModCollisionState* triggerState_ = nullptr;
    // In order of arrival.
    nArray<nLogicIntruder> intruders_{4, 4};
    nLogicEventHandler* enterHandler_ = nullptr;
    nLogicEventHandler* currentHandler_ = nullptr;
    nLogicEventHandler* leaveHandler_ = nullptr;
    nScriptEvent* onEnter_ = nullptr;
    nScriptEvent* onCurrent_ = nullptr;
    nScriptEvent* onLeave_ = nullptr;
    // The path of the intruder being announced; keeps its room from frame to frame.
    std::string path_;
};
