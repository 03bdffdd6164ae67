#include "audio/nListenerNode.h"

#include "audio/nAudioServer2.h"
#include "gfx/nGfxServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"

static const nCmdDef<nListenerNode> cmds[] = {
    Bind<&nListenerNode::SetVelocityChannel>("v_setvelocitychannel_s", "SVCH"),
    Bind<&nListenerNode::GetVelocityChannel>("s_getvelocitychannel_v", "GVCH"),
    Bind<&nListenerNode::SetDopplerFactor>("v_setdopplerfactor_f", "SDPF"),
    Bind<&nListenerNode::GetDopplerFactor>("f_getdopplerfactor_v", "GDPF"),
    Bind<&nListenerNode::SetRolloffFactor>("v_setrollofffactor_f", "SRLF"),
    Bind<&nListenerNode::GetRolloffFactor>("f_getrollofffactor_v", "GRLF"),
    Bind<&nListenerNode::SetVelocityCap>("v_setvelocitycap_f", "SVCP"),
    Bind<&nListenerNode::GetVelocityCap>("f_getvelocitycap_v", "GVCP"),
};
const nClassInfo nListenerNode::classInfo = nClassInfo::Make<nListenerNode>("nlistenernode", "nvisnode", cmds);

nListenerNode::nListenerNode() : refAudio("/sys/servers/audio"), velocityChannel("lvelocity") {}

bool nListenerNode::SaveCmds(nPersistServer* ps) {
    return nVisNode::SaveCmds(ps) && ps->Put(this, nId("SVCH"), GetVelocityChannel()) &&
           ps->Put(this, nId("SDPF"), dopplerFactor) && ps->Put(this, nId("SRLF"), rolloffFactor) &&
           ps->Put(this, nId("SVCP"), velocityCap);
}

void nListenerNode::SetVelocityChannel(const char* name) {
    velocityChannel = name ? name : "";
    NotifyParents();
}

void nListenerNode::CollectChannels(nChannelSet* set) {
    velocityIndex = set->AddChannel(refChannel.Get(), velocityChannel.Get());
    nVisNode::CollectChannels(set);
}

bool nListenerNode::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    sceneGraph->SetListenerNode(this);
    return true;
}

void nListenerNode::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    const nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    const nChannelSlot& v = nChannelContext::Read(rec ? rec->channelContext : nullptr, velocityIndex);
    velocity.set(v.f[0], v.f[1], v.f[2]);
    const float speed = velocity.Len();
    if (speed > velocityCap) velocity *= velocityCap > 0.0f ? velocityCap / speed : 0.0f;
    matrix = refGfx->GetMatrix(nGfxServer::VIEWER);
    refAudio->SetListener(matrix, velocity, dopplerFactor, rolloffFactor);
}
