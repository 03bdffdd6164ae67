#include "scene/nLinkNode.h"

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"

namespace {

const nCmdDef<nLinkNode> cmds[] = {
    Bind<&nLinkNode::SetTarget>("v_settarget_s", "STGT"),
    Bind<&nLinkNode::GetTarget>("s_gettarget_v", "GTGT"),
};

// Runs `f` with the guard set; does nothing while it is set already.
template <class F>
void Guarded(bool& flag, F f) {
    if (flag) return;
    flag = true;
    f();
    flag = false;
}

}  // namespace

const nClassInfo nLinkNode::classInfo = nClassInfo::Make<nLinkNode>("nlinknode", "nvisnode", cmds);

nLinkNode::nLinkNode() = default;

void nLinkNode::SetTarget(const char* path) {
    target_.SetPath(path && *path ? path : nullptr);
    wrongClassLogged_ = false;
    NotifyParents();
    if (nVisNode* node = GetTargetNode()) node->NotifyParents();
}

const char* nLinkNode::GetTarget() const {
    const char* path = target_.GetPath();
    return path ? path : "";
}

nVisNode* nLinkNode::GetTargetNode() {
    nRoot* obj = target_.Resolve();
    if (!obj) return nullptr;
    if (!IsVisual(obj)) {
        if (!wrongClassLogged_) {
            wrongClassLogged_ = true;
            n_error("%s: link target '%s' is no visual node\n", GetFullName().c_str(), GetTarget());
        }
        return nullptr;
    }
    return static_cast<nVisNode*>(obj);
}

bool nLinkNode::Attach(nSceneGraph2* sceneGraph) {
    bool result = true;
    Guarded(forwarding_, [&] {
        if (nVisNode* node = GetTargetNode()) result = node->Attach(sceneGraph);
    });
    return result;
}

void nLinkNode::Preload() {
    Guarded(forwarding_, [&] {
        if (nVisNode* node = GetTargetNode()) node->Preload();
        nVisNode::Preload();
    });
}

bool nLinkNode::ChannelsChanged() {
    Guarded(forwarding_, [&] {
        if (nVisNode* node = GetTargetNode()) node->ChannelsChanged();
    });
    return false;
}

void nLinkNode::CollectChannels(nChannelSet* set) {
    Guarded(forwarding_, [&] {
        if (nVisNode* node = GetTargetNode()) node->CollectChannels(set);
    });
}

bool nLinkNode::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    return ps->Put(this, nId("STGT"), GetTarget());
}
