#include "logic/nLogicFunctionHandler.h"

#include <cstring>

#include "kernel/nKernelServer.h"

nLogicFunctionHandler::nLogicFunctionHandler(nRoot* owner, const char* eventName, nLogicEventRecord* record)
    : nLogicEventHandler(Function, owner, eventName, record), scriptServer_("/sys/servers/script") {
    GetEventObject();
}

void nLogicFunctionHandler::Fire() {
    nScriptServer* server = scriptServer_.Get();
    nKernelServer* ks = nKernelServer::ks;
    nRoot* owner = GetOwner();
    ks->PushCwd(owner ? owner : ks->GetRoot());
    FiringMark mark(this);
    for (int i = 0; !mark.died && i < lines_.Size(); i++) {
        const char* result = nullptr;
        // A line that GetFunction made by reading past the end has no origin: data's.
        const auto origin = size_t(i) < origins_.size() ? origins_[size_t(i)] : nScriptServer::Origin::Data;
        server->RunStored(lines_[i].Get(), origin, result);
    }
    ks->PopCwd();
}

bool nLogicFunctionHandler::IsBound() const {
    return lines_.Size() > 0;
}

const char* nLogicFunctionHandler::GetFunction(int index) {
    if (index < 0) index = 0;
    return lines_.At(index).Get();
}

void nLogicFunctionHandler::AddFunction(const char* line) {
    if (!line) line = "";
    if (nScriptServer::DataRunning() &&
        !charge_.Set(charge_.Bytes() + std::strlen(line) + 32, nullptr, "adding a line to an event handler")) {
        return;
    }
    lines_.Append(nString(line));
    origins_.push_back(nScriptServer::CurrentOrigin());
}

void nLogicFunctionHandler::RemoveFunction(const char* line) {
    int i = FindFunction(line);
    if (i >= 0) {
        if (size_t(i) < origins_.size() && origins_[size_t(i)] == nScriptServer::Origin::Data) {
            const uint64_t bytes = std::strlen(lines_[i].Get()) + 32;
            charge_.Set(charge_.Bytes() > bytes ? charge_.Bytes() - bytes : 0, nullptr, nullptr);
        }
        lines_.Erase(i);
        if (size_t(i) < origins_.size()) origins_.erase(origins_.begin() + i);
    }
}

int nLogicFunctionHandler::FindFunction(const char* line) const {
    if (!line) line = "";
    for (int i = 0; i < lines_.Size(); i++) {
        if (std::strcmp(lines_[i].Get(), line) == 0) return i;
    }
    return -1;
}
