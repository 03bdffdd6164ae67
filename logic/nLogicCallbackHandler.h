#pragma once
// Kind 3: calls a native function with the handler, for engine code that reacts to an
// event without a script.
#include "logic/nLogicEventHandler.h"

class nLogicCallbackHandler : public nLogicEventHandler {
public:
    nLogicCallbackHandler(nRoot* owner, const char* eventName, nLogicEventRecord* record);

    void Fire() override;
    // True once a function is set.
    bool IsBound() const override;
    void SetCallback(CallbackFn fn) override;

private:
    CallbackFn callback_ = nullptr;
};
