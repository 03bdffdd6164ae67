#include "logic/nLogicCallbackHandler.h"

nLogicCallbackHandler::nLogicCallbackHandler(nRoot* owner, const char* eventName, nLogicEventRecord* record)
    : nLogicEventHandler(Callback, owner, eventName, record) {
    GetEventObject();
}

void nLogicCallbackHandler::Fire() {
    if (callback_) callback_(this);
}

bool nLogicCallbackHandler::IsBound() const {
    return callback_ != nullptr;
}

void nLogicCallbackHandler::SetCallback(CallbackFn fn) {
    callback_ = fn;
}
