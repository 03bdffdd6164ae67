#pragma once
// Kind 1: runs one script text with the owning node as the kernel's current object.
#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "kernel/nScriptServer.h"
#include "logic/nLogicEventHandler.h"

class nLogicScriptHandler : public nLogicEventHandler {
public:
    nLogicScriptHandler(nRoot* owner, const char* eventName, nLogicEventRecord* record);

    // Runs the script with the owner current (the root without one), then makes the
    // former current object current again, or the root when the script deleted it.
    // No script server is a program error: fatal "Aborting.".
    void Fire() override;
    // True when the script text is not empty.
    bool IsBound() const override;
    void SetScript(const char* text) override;
    // "" when unset.
    const char* GetScript() const override;
    nScriptServer::Origin GetScriptOrigin() const override { return origin_; }

private:
    nString script_;
    nScriptServer::Origin origin_ = nScriptServer::Origin::Person;
    nDataCharge charge_;
    nPathRef<nScriptServer> scriptServer_;
};
