#include "anim/nAnimNode.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"

namespace {

const nCmdDef<nAnimNode> cmds[] = {
    Bind<&nAnimNode::SetRepType>("v_setreptype_s", "SRPT"),
    Bind<&nAnimNode::GetRepType>("s_getreptype_v", "GRPT"),
    Bind<&nAnimNode::SetChannel>("v_setchannel_s", "SCHN"),
    Bind<&nAnimNode::GetChannel>("s_getchannel_v", "GCHN"),
};

}  // namespace

const nClassInfo nAnimNode::classInfo = nClassInfo::Make<nAnimNode>("nanimnode", "nvisnode", cmds);

nAnimNode::nAnimNode() = default;

void nAnimNode::SetRepType(const char* name) {
    if (!name) return;
    if (std::strcmp(name, "oneshot") == 0) repType_ = Oneshot;
    else if (std::strcmp(name, "loop") == 0) repType_ = Loop;
}

const char* nAnimNode::GetRepType() const {
    if (repType_ == Oneshot) return "oneshot";
    if (repType_ == Loop) return "loop";
    return "<error>";
}

void nAnimNode::SetChannel(const char* name) {
    channel_ = name ? name : "";
    NotifyParents();
}

bool nAnimNode::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SRPT"), GetRepType()) && ps->Put(this, nId("SCHN"), GetChannel());
}

void nAnimNode::CollectChannels(nChannelSet* set) {
    channelIndex_ = set->AddChannel(refChannel.Get(), channel_.c_str());
    nVisNode::CollectChannels(set);
}

