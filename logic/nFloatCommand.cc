#include "logic/nFloatCommand.h"

#include <cstring>
#include <string>

#include "kernel/nClass.h"
#include "kernel/nCmd.h"
#include "kernel/nRoot.h"

nCmdProto* nFloatCommand::FindByNameOrProto(nClass* cls, const char* name) {
    if (!cls || !name || !name[0]) return nullptr;
    if (nCmdProto* p = cls->FindCmdByName(name)) return p;
    const char* start = std::strchr(name, '_');
    if (!start) return nullptr;
    while (*start == '_') start++;
    const char* end = std::strchr(start, '_');
    if (!end) return nullptr;
    nCmdProto* p = cls->FindCmdByName(std::string(start, end).c_str());
    return p && std::strcmp(p->GetProtoText(), name) == 0 ? p : nullptr;
}

bool nFloatCommand::TakesOneToFourFloats(const nCmdProto* p) {
    const int n = p->GetNumInArgs();
    if (n < 1 || n > 4) return false;
    for (int i = 0; i < n; i++) {
        if (p->GetInType(i) != nArg::Float) return false;
    }
    return true;
}

bool nFloatCommand::Bind(nCmdProto* p) {
    if (!p || !TakesOneToFourFloats(p)) {
        Unbind();
        return false;
    }
    proto = p;
    numIn = p->GetNumInArgs();
    numOut = p->GetNumOutArgs();
    return true;
}

void nFloatCommand::SendCommand(nRoot* target, const float v[4]) const {
    // The prototype's own command, filled in place, unless a call of the same command is
    // running or the command has results to reset.
    nCmd* cmd = numOut == 0 ? proto->TakeTemplate() : nullptr;
    const bool shared = cmd != nullptr;
    if (!shared) cmd = proto->NewFilledCmd();
    nArg* in = cmd->GetArg(numOut);
    switch (numIn) {
        case 4: in[3].SetF(v[3]); [[fallthrough]];
        case 3: in[2].SetF(v[2]); [[fallthrough]];
        case 2: in[1].SetF(v[1]); [[fallthrough]];
        default: in[0].SetF(v[0]);
    }
    target->DispatchFilled(cmd);
    if (shared) proto->ReleaseTemplate();
    else proto->RelCmd(cmd);
}
