#include "logic/nLogicScriptHandler.h"

#include <cstring>

#include "kernel/nKernelServer.h"

nLogicScriptHandler::nLogicScriptHandler(nRoot* owner, const char* eventName, nLogicEventRecord* record)
    : nLogicEventHandler(Script, owner, eventName, record), scriptServer_("/sys/servers/script") {
    GetEventObject();
}

void nLogicScriptHandler::Fire() {
    nScriptServer* server = scriptServer_.Get();
    nKernelServer* ks = nKernelServer::ks;
    // By reference: the script may delete the object that was current.
    nRef<nRoot> previous(ks->GetCwd());
    nRoot* owner = GetOwner();
    ks->SetCwd(owner ? owner : ks->GetRoot());
    const char* result = nullptr;
    // The script may destroy this handler: nothing of it is touched after the run.
    server->RunStored(script_.Get(), origin_, result);
    ks->SetCwd(previous.GetUnsafe());
}

bool nLogicScriptHandler::IsBound() const {
    return !script_.IsEmpty();
}

void nLogicScriptHandler::SetScript(const char* text) {
    if (!text) text = "";
    if (!charge_.Hold(std::strlen(text) + 1, nullptr, "setting an event handler's script")) return;
    script_ = text;
    origin_ = nScriptServer::CurrentOrigin();
}

const char* nLogicScriptHandler::GetScript() const {
    return script_.Get();
}
