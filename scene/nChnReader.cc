#include "scene/nChnReader.h"

#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"

namespace {

const nCmdDef<nChnReader> cmds[] = {
    Bind<&nChnReader::BeginConnects>("v_beginconnects_i", "BCNC"),
    Bind<&nChnReader::SetConnect>("v_setconnect_iss", "SCNC"),
    Bind<&nChnReader::EndConnects>("v_endconnects_v", "ECNC"),
};

// Names live in 32-character fields in stored scenes.
std::string cut31(const char* s) {
    std::string t = s ? s : "";
    if (t.size() > 31) t.resize(31);
    return t;
}

}  // namespace

const nClassInfo nChnReader::classInfo = nClassInfo::Make<nChnReader>("nchnreader", "nvisnode", cmds);

nChnReader::nChnReader() = default;

void nChnReader::Initialize() {
    nRoot* parent = GetParent();
    if (IsVisual(parent)) AddDepend(static_cast<nVisNode*>(parent));
    nVisNode::Initialize();
}

void nChnReader::BeginConnects(int n) {
    if (n < 0 || n > MaxConnects) {
        n_error("%s: beginconnects: %d connects is outside 0 to %d\n", GetFullName().c_str(), n, MaxConnects);
        return;
    }
    connects_.assign(static_cast<size_t>(n), Connect());
    NotifyParents();
}

void nChnReader::SetConnect(int index, const char* command, const char* channel) {
    if (index < 0 || index >= GetNumConnects()) {
        n_error("%s: setconnect: connect %d of %d\n", GetFullName().c_str(), index, GetNumConnects());
        return;
    }
    Connect& c = connects_[static_cast<size_t>(index)];
    c.command = cut31(command);
    c.channel = cut31(channel);
    c.proto = nullptr;
    c.channelIndex = -1;
    c.origin = nScriptServer::CurrentOrigin();
    c.refused = false;
    NotifyParents();
}

void nChnReader::EndConnects() {
    nRoot* parent = GetParent();
    nClass* cls = parent ? parent->GetClass() : nullptr;
    moveLogged_ = false;
    for (Connect& c : connects_) {
        c.proto = nullptr;
        nCmdProto* proto = cls ? cls->FindCmdByName(c.command.c_str()) : nullptr;
        if (!proto) {
            n_error("%s: endconnects: the parent has no command '%s'\n", GetFullName().c_str(), c.command.c_str());
            continue;
        }
        if (!proto->TakesFloats() || proto->GetNumInArgs() > 4) {
            n_error("%s: endconnects: '%s' takes other inputs than one to four floats\n", GetFullName().c_str(),
                    proto->GetProtoText());
            continue;
        }
        c.proto = proto;
        c.numArgs = proto->GetNumInArgs();
    }
}

const char* nChnReader::GetCommand(int index) const {
    return index >= 0 && index < GetNumConnects() ? connects_[static_cast<size_t>(index)].command.c_str() : nullptr;
}

const char* nChnReader::GetChannel(int index) const {
    return index >= 0 && index < GetNumConnects() ? connects_[static_cast<size_t>(index)].channel.c_str() : nullptr;
}

bool nChnReader::IsResolved(int index) const {
    return index >= 0 && index < GetNumConnects() && connects_[static_cast<size_t>(index)].proto;
}

void nChnReader::CollectChannels(nChannelSet* set) {
    nChannelServer* cs = refChannel.Get();
    // A connect not set yet names no channel (the server would log the empty name).
    for (Connect& c : connects_) c.channelIndex = c.channel.empty() ? -1 : set->AddChannel(cs, c.channel.c_str());
    nVisNode::CollectChannels(set);
}

void nChnReader::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nRoot* parent = GetParent();
    nSceneNodeRecord* rec = sceneGraph ? sceneGraph->GetCurrentNode() : nullptr;
    const nChannelContext* ctx = rec ? rec->channelContext : nullptr;
    for (Connect& c : connects_) {
        if (!c.proto || !parent) continue;
        // A script may have moved the reader under a parent without the command.
        if (c.proto->GetOwner() && !parent->IsA(c.proto->GetOwner())) {
            if (!moveLogged_)
                n_error("%s: the parent has no command '%s'; nothing driven\n", GetFullName().c_str(),
                        c.command.c_str());
            moveLogged_ = true;
            continue;
        }
        const nChannelSlot& v = nChannelContext::Read(ctx, c.channelIndex);
        nCmd* cmd = c.proto->NewCmd();
        for (int i = 0; i < c.numArgs; i++) cmd->In()->SetF(v.f[i]);
        nScriptServer::DispatchKept(parent, cmd, c.origin, c.refused);
        c.proto->RelCmd(cmd);
    }
}

bool nChnReader::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    if (connects_.empty()) return true;
    if (!ps->Put(this, nId("BCNC"), GetNumConnects())) return false;
    for (int i = 0; i < GetNumConnects(); i++) {
        // A copy made by clone keeps the connect's origin.
        nScriptServer::OriginScope origin(connects_[static_cast<size_t>(i)].origin);
        if (!ps->Put(this, nId("SCNC"), i, GetCommand(i), GetChannel(i))) return false;
    }
    return ps->Put(this, nId("ECNC"));
}
