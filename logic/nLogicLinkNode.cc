#include "logic/nLogicLinkNode.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicVisual2.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"

static const nCmdDef<nLogicLinkNode> cmds[] = {
    Bind<&nLogicLinkNode::SetChannel>("v_setchannel_s", "LSCH"),
    Bind<&nLogicLinkNode::GetChannel>("s_getchannel_v", "LGCH"),
};
const nClassInfo nLogicLinkNode::classInfo = nClassInfo::Make<nLogicLinkNode>("nlogiclinknode", "nlinknode", cmds);

namespace {
// Every shown node stands at its link's place.
const matrix44 kUnit;
}  // namespace

nLogicLinkNode::nLogicLinkNode() = default;

void nLogicLinkNode::SetChannel(const char* name) {
    channelName_ = name ? name : "";
    channel_ = -1;
    NotifyParents();
}

void nLogicLinkNode::CollectChannels(nChannelSet* set) {
    nChannelServer* channels = refChannel.Get();
    channel_ = channelName_.empty() ? -1 : set->AddChannel(channels, channelName_.c_str());
    if (GetTargetNode()) {
        missingLogged_ = false;
        nLinkNode::CollectChannels(set);
        return;
    }
    if (missingLogged_ && missingTarget_ == GetTarget()) return;
    missingLogged_ = true;
    missingTarget_ = GetTarget();
    if (missingTarget_.empty()) {
        n_error("%s: no link target; only the channel '%s' is collected\n", GetFullName().c_str(),
                channelName_.c_str());
    } else {
        n_error("%s: link target '%s' names no visual node; only the channel '%s' is collected\n",
                GetFullName().c_str(), missingTarget_.c_str(), channelName_.c_str());
    }
}

const char* nLogicLinkNode::ChannelText(const nSceneNodeRecord* rec) {
    if (channel_ < 0 || !rec) return nullptr;
    // A text channel's slot holds only whether it has a text; the text is the server's.
    uint32_t word;
    std::memcpy(&word, &nChannelContext::Read(rec->channelContext, channel_).f[0], sizeof word);
    return word ? refChannel.Get()->GetChannelString(channel_) : nullptr;
}

bool nLogicLinkNode::Attach(nSceneGraph2* sceneGraph) {
    if (showing_) return true;
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    const char* path = ChannelText(rec);
    if (!path || !*path) return true;
    nRoot* obj = nKernelServer::ks->Lookup(path);
    if (!obj) return true;
    if (!obj->IsA("nlogicvisual2")) {
        if (refusedValue_ != path) {
            refusedValue_ = path;
            n_error("%s: channel '%s' names '%s', which is no visual logic node; nothing is shown\n",
                    GetFullName().c_str(), channelName_.c_str(), path);
        }
        return true;
    }
    refusedValue_.clear();
    auto* node = static_cast<nLogicVisual2*>(obj);
    if (node->IsVisible()) Show(sceneGraph, rec, node);
    return true;
}

void nLogicLinkNode::Show(nSceneGraph2* sceneGraph, nSceneNodeRecord* rec, nLogicVisual2* node) {
    nLogicGraph* graph = graphRef_.Get();
    node->SetTime(node->GetTime() + node->GetFrameTime());
    // The node's scripts may release it or this link.
    nRef<nRoot> self(this);
    nRef<nRoot> alive(node);
    showing_ = true;
    node->Trigger(graph);
    if (alive.IsValid() && self.IsValid()) {
        node->SetMatrix(kUnit);
        // The node's visualizers bind their own channel contexts into the current record
        // and choose render context 0; the link's siblings still read the parent's.
        nChannelContext* context = rec->channelContext;
        const uint32_t renderContext = sceneGraph->GetRenderContext();
        node->Visualize(sceneGraph, kUnit);
        rec->channelContext = context;
        sceneGraph->SetRenderContext(renderContext);
    }
    if (self.IsValid()) showing_ = false;
}

bool nLogicLinkNode::SaveCmds(nPersistServer* ps) {
    if (!nLinkNode::SaveCmds(ps)) return false;
    return ps->Put(this, nId("LSCH"), GetChannel());
}
