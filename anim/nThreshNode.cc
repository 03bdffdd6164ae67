#include "anim/nThreshNode.h"

#include "kernel/nPersistServer.h"

namespace {

const nCmdDef<nThreshNode> cmds[] = {
    Bind<&nThreshNode::SetLowerBound>("v_setlowerbound_f", "SLWB"),
    Bind<&nThreshNode::GetLowerBound>("f_getlowerbound_v", "GLWB"),
    Bind<&nThreshNode::SetUpperBound>("v_setupperbound_f", "SUPB"),
    Bind<&nThreshNode::GetUpperBound>("f_getupperbound_v", "GUPB"),
};

}  // namespace

const nClassInfo nThreshNode::classInfo = nClassInfo::Make<nThreshNode>("nthreshnode", "nanimnode", cmds);

nThreshNode::nThreshNode() = default;

bool nThreshNode::Attach(nSceneGraph2* sceneGraph) {
    const float v = ReadChannel(sceneGraph, channelIndex_);
    if (v < lower_ || v >= upper_) return true;
    return nAnimNode::Attach(sceneGraph);
}

bool nThreshNode::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SLWB"), lower_) && ps->Put(this, nId("SUPB"), upper_);
}
