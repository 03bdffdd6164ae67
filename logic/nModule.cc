#include "logic/nModule.h"

#include "scene/nVariableServer.h"

const nClassInfo nModule::classInfo = nClassInfo::Make<nModule>("nmodule", "nroot");

nModule::nModule() = default;

nModule::~nModule() = default;

nVariableServer* nModule::GetVariableServer() {
    return static_cast<nVariableServer*>(refVariableServer_.Get());
}
