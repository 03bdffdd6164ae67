#include "logic/nLogicEventHandler.h"

#include <string>

#include "kernel/nKernelServer.h"
#include "logic/nLogicCallbackHandler.h"
#include "logic/nLogicEvent.h"
#include "logic/nLogicEventRecord.h"
#include "logic/nLogicFunctionHandler.h"
#include "logic/nLogicScriptHandler.h"

nLogicEventHandler::FiringMark* nLogicEventHandler::firing_ = nullptr;

nLogicEventHandler::FiringMark::FiringMark(const nLogicEventHandler* h) : handler(h), outer(firing_) {
    firing_ = this;
}

nLogicEventHandler::FiringMark::~FiringMark() {
    firing_ = outer;
}

nLogicEventHandler* nLogicEventHandler::Create(int kind, nRoot* owner, const char* eventName,
                                               nLogicEventRecord* record) {
    switch (kind) {
        case Script: return new nLogicScriptHandler(owner, eventName, record);
        case Function: return new nLogicFunctionHandler(owner, eventName, record);
        case Callback: return new nLogicCallbackHandler(owner, eventName, record);
        default: nKernelServer::FatalError("unknown event type for creation!\n");
    }
}

nLogicEventHandler::nLogicEventHandler(int kind, nRoot* owner, const char* eventName, nLogicEventRecord* record)
    : kind_(kind), owner_(owner), eventName_(eventName ? eventName : ""), record_(record) {
    if (record_) record_->Register(this);
}

nLogicEventHandler::~nLogicEventHandler() {
    for (FiringMark* m = firing_; m; m = m->outer) {
        if (m->handler == this) m->died = true;
    }
    if (record_) record_->Forget(this);
    if (nLogicEvent* obj = eventObject_.GetUnsafe()) {
        eventObject_.Invalidate();
        obj->Release();
    }
}

bool nLogicEventHandler::Queue() {
    if (!IsBound()) return false;
    if (!record_) {
        n_error("nLogicEventHandler: event '%s' fired after the event server was released, dropped\n",
                eventName_.Get());
        return false;
    }
    return record_->AddHandler(this);
}

nLogicEvent* nLogicEventHandler::GetEventObject() {
    if (nLogicEvent* obj = eventObject_.GetUnsafe()) return obj;
    if (!record_) return nullptr;
    std::string path = record_->GetGroupPath() + eventName_.Get();
    nKernelServer* ks = nKernelServer::ks;
    nRoot* obj = ks->Lookup(path.c_str());
    if (!obj) {
        obj = ks->NewNoFail("nlogicevent", path.c_str());
        if (!obj) {
            n_error("nLogicEventHandler: cannot make the event object '%s'\n", path.c_str());
            return nullptr;
        }
    }
    if (!obj->IsA("nlogicevent")) {
        n_error("nLogicEventHandler: '%s' is a %s, not the event object\n", path.c_str(), obj->GetClass()->GetName());
        return nullptr;
    }
    // Our own count keeps the object while the handler lives.
    obj->AddRef();
    eventObject_ = static_cast<nLogicEvent*>(obj);
    return eventObject_.GetUnsafe();
}

void nLogicEventHandler::PureCall() {
    nKernelServer::FatalError("pure virtual function call!\n");
}

void nLogicEventHandler::Fire() { PureCall(); }
bool nLogicEventHandler::IsBound() const { PureCall(); }
void nLogicEventHandler::SetScript(const char*) { PureCall(); }
const char* nLogicEventHandler::GetFunction(int) { PureCall(); }
const char* nLogicEventHandler::GetScript() const { PureCall(); }
void nLogicEventHandler::AddFunction(const char*) { PureCall(); }
void nLogicEventHandler::RemoveFunction(const char*) { PureCall(); }
int nLogicEventHandler::FindFunction(const char*) const { PureCall(); }
void nLogicEventHandler::SetCallback(CallbackFn) { PureCall(); }
