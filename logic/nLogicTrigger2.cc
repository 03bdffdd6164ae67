#include "logic/nLogicTrigger2.h"

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicEvent.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nModCollisionState.h"
#include "logic/nScriptEvent.h"

const nClassInfo nLogicTrigger2::classInfo = nClassInfo::Make<nLogicTrigger2>("nlogictrigger2", "nlogiccollision2");

namespace {
const char* const kIntruderVar = "intruder";

// The node a side of a collision belongs to, null when it has none.
nLogicNode* OwnerOf(const nCollideObject2* obj) {
    return obj && obj->state ? obj->state->GetOwner() : nullptr;
}
}  // namespace

nLogicTrigger2::nLogicTrigger2() {
    triggerState_ =
        static_cast<nModCollisionState*>(nLogicCollision2::CreateModuleState(nModuleState::Collision, "trigger"));
    triggerState_->SetContext("trigger");
    nVariable empty;
    empty.SetS("");
    nLogicEventHandler** handlers[] = {&enterHandler_, &currentHandler_, &leaveHandler_};
    const char* names[] = {"trigger_enter", "trigger_current", "trigger_leave"};
    for (int i = 0; i < 3; i++) {
        nLogicEventHandler* h = AddHandler(names[i]);
        *handlers[i] = h;
        if (nLogicEvent* obj = h->GetEventObject()) obj->SetVar(kIntruderVar, empty);
    }
    onEnter_ = DeclareEvent("onenter", "s");
    onCurrent_ = DeclareEvent("oncurrent", "s");
    onLeave_ = DeclareEvent("onleave", "s");
}

nLogicTrigger2::~nLogicTrigger2() = default;

void nLogicTrigger2::Sighted(nLogicNode* node) {
    for (nLogicIntruder& in : intruders_) {
        if (in.GetNode() == node) {
            // Entered or seen already this frame: a node reported twice counts once.
            if (in.GetState() == nLogicIntruder::Left) in.SetState(nLogicIntruder::Inside);
            return;
        }
    }
    intruders_.Append(nLogicIntruder(node, nLogicIntruder::Entered));
}

void nLogicTrigger2::Announce(nLogicEventHandler* handler, nScriptEvent* event) {
    if (handler->IsBound()) {
        // Shared by every trigger, and scripts may change it: checked each time.
        nLogicEvent* obj = handler->GetEventObject();
        nVariable* var = obj ? obj->GetVar(kIntruderVar) : nullptr;
        if (obj && !var) {
            nVariable text;
            text.SetS("");
            var = obj->SetVar(kIntruderVar, text);
        }
        if (var && var->GetType() != nVariable::String) {
            n_error("%s: %s: '%s' of %s is no text, not fired\n", GetFullName().c_str(), handler->GetEventName(),
                    kIntruderVar, obj->GetFullName().c_str());
        } else if (var) {
            var->SetS(path_.c_str());
            handler->Queue();
        }
    }
    if (event->GetNumFunctions() > 0) {
        event->GetArg(0).SetS(path_.c_str());
        AddPendingEvent(event);
    }
}

void nLogicTrigger2::AnalyseCollision() {
    if (!enterHandler_->IsBound() && !currentHandler_->IsBound() && !leaveHandler_->IsBound()) return;

    for (nLogicIntruder& in : intruders_) in.SetState(nLogicIntruder::Left);

    nCollideContext2* ctx = triggerState_->GetContext();
    if (ctx && triggerState_->GetEnabled() && triggerState_->GetNumModules() > 0) {
        nCollidePair** list = nullptr;
        const int n = ctx->GetCollisions(triggerState_, list);
        for (int i = 0; i < n; i++) {
            nLogicNode* node = OwnerOf(list[i]->objB);
            if (node == this) node = OwnerOf(list[i]->objA);
            // A side without a node, or the trigger meeting itself, lists nobody.
            if (node && node != this) Sighted(node);
        }
    }

    for (int i = 0; i < intruders_.Size();) {
        nLogicIntruder& in = intruders_[i];
        nLogicNode* node = in.GetNode();
        if (!node) {
            intruders_.Erase(i);
            continue;
        }
        node->GetFullName(path_);
        switch (in.GetState()) {
            case nLogicIntruder::Entered:
                Announce(enterHandler_, onEnter_);
                i++;
                break;
            case nLogicIntruder::Inside:
                Announce(currentHandler_, onCurrent_);
                i++;
                break;
            case nLogicIntruder::Left:
                Announce(leaveHandler_, onLeave_);
                intruders_.Erase(i);
                break;
            default: nKernelServer::FatalError("nLogicTrigger2::AnalyseCollision, wrong intruder state!\n");
        }
    }
}
