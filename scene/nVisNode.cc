#include "scene/nVisNode.h"

#include "gfx/nGfxServer.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"

namespace {

const nCmdDef<nVisNode> cmds[] = {
    {"v_setfinishedafter_f", "SFAF", [](nVisNode* self, nCmd* c) { self->SetFinishedAfter(c->In()->GetF()); }},
    {"f_getfinishedafter_v", "GFAF", [](nVisNode* self, nCmd* c) { c->Out()->SetF(self->GetFinishedAfter()); }},
    {"v_preload_v", "PRLD", [](nVisNode* self, nCmd*) { self->Preload(); }},
};

}  // namespace

const nClassInfo nVisNode::classInfo = nClassInfo::Make<nVisNode>("nvisnode", "nroot", cmds);

nVisNode::nVisNode()
    : refGfx("/sys/servers/gfx"), refChannel("/sys/servers/channel"),
      visClass_(nKernelServer::ks->FindClass("nvisnode")), dependNode_(this) {}

nVisNode::~nVisNode() {
    while (nNode* n = dependList_.RemHead()) (void)n;
    dependNode_.Remove();
    // A node that dies inside a frame takes its set out of the frame's contexts.
    if (channelSet_ && channelSet_->GetRefCount() > 0) {
        if (nChannelServer* cs = refChannel.Resolve()) cs->ForgetSet(channelSet_);
    }
    delete channelSet_;
    channelSet_ = nullptr;
}

void nVisNode::NotifyParents() {
    nVisNode* n = this;
    for (;;) {
        if (n->channelSet_) n->channelsChanged_ = true;
        nRoot* p = n->GetParent();
        if (!IsVisual(p)) break;
        n = static_cast<nVisNode*>(p);
    }
}

void nVisNode::Initialize() {
    NotifyParents();
}

bool nVisNode::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    // 0, negative and NaN times are the default and not written.
    if (!(finishedAfter_ > 0.0f)) return true;
    nCmd* c = NewCmd(nId("SFAF"));
    if (!c) return false;
    c->In()->SetF(finishedAfter_);
    return ps->PutCmd(c);
}

// A child that is no visual node has no part in the scene, as in the other recursive
// operations.
bool nVisNode::Attach(nSceneGraph2* sceneGraph) {
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (IsVisual(c)) static_cast<nVisNode*>(c)->Attach(sceneGraph);
    }
    return true;
}

void nVisNode::Compute(nSceneGraph2* sceneGraph) {
    for (nNode* n = dependList_.GetHead(); n; n = n->GetSucc()) {
        static_cast<nVisNode*>(n->GetPtr())->Compute(sceneGraph);
    }
}

void nVisNode::ComputeDepends(nSceneGraph2* sceneGraph, bool readers) {
    for (nNode* n = dependList_.GetHead(); n; n = n->GetSucc()) {
        auto* node = static_cast<nVisNode*>(n->GetPtr());
        if (node->ReadsSceneNode() == readers) node->Compute(sceneGraph);
    }
}

void nVisNode::Preload() {
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (IsVisual(c)) static_cast<nVisNode*>(c)->Preload();
    }
}

bool nVisNode::ChannelsChanged() {
    return channelsChanged_;
}

void nVisNode::CollectChannels(nChannelSet* set) {
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (IsVisual(c)) static_cast<nVisNode*>(c)->CollectChannels(set);
    }
}

void nVisNode::AddRenderContext(uint32_t id) {
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (IsVisual(c)) static_cast<nVisNode*>(c)->AddRenderContext(id);
    }
}

void nVisNode::RemoveRenderContext(uint32_t id) {
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (IsVisual(c)) static_cast<nVisNode*>(c)->RemoveRenderContext(id);
    }
}

nChannelSet* nVisNode::GetChannelSet() {
    if (!channelSet_) channelSet_ = new nChannelSet();
    if (ChannelsChanged()) {
        channelSet_->Clear();
        CollectChannels(channelSet_);
        channelsChanged_ = false;
    }
    return channelSet_;
}

void nVisNode::AddDepend(nVisNode* node) {
    if (!node || node == this) return;
    node->dependList_.AddTail(&dependNode_);
}

bool nVisNode::HasDepend(const nVisNode* node) const {
    for (nNode* n = dependList_.GetHead(); n; n = n->GetSucc()) {
        if (n->GetPtr() == node) return true;
    }
    return false;
}

float nVisNode::ReadChannel(nSceneGraph2* sceneGraph, int channel) {
    nSceneNodeRecord* rec = sceneGraph ? sceneGraph->GetCurrentNode() : nullptr;
    return nChannelContext::Read(rec ? rec->channelContext : nullptr, channel).f[0];
}

bool nVisNode::WriteChannel(nSceneGraph2* sceneGraph, int channel, float value) {
    nSceneNodeRecord* rec = sceneGraph ? sceneGraph->GetCurrentNode() : nullptr;
    nChannelSlot* slot = nChannelContext::Writable(rec ? rec->channelContext : nullptr, channel);
    if (!slot) return false;
    slot->f[0] = value;
    return true;
}
