#include "anim/nSkinNode.h"

#include "anim/nBoneSystem.h"
#include "anim/nJoint2.h"
#include "kernel/nKernelServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nMeshNode.h"
#include "scene/nSceneGraph2.h"
#include "scene/nShadowServer.h"

const nClassInfo nSkinNode::classInfo = nClassInfo::Make<nSkinNode>("nskinnode", "n3dnode");

nSkinNode::nSkinNode() : refShadow_("/sys/servers/shadow") {}

void nSkinNode::CollectChannels(nChannelSet* set) {
    lodChannel_ = set->AddChannel(refChannel.Get(), "lod");
    nVisNode::CollectChannels(set);
}

nMeshNode* nSkinNode::meshChild() {
    if (nMeshNode* mesh = mesh_.GetUnsafe()) return mesh;
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (c->IsA(nMeshNode::classInfo.name)) {
            mesh_.Set(static_cast<nMeshNode*>(c));
            return mesh_.GetUnsafe();
        }
    }
    return nullptr;
}

void nSkinNode::logOnce(const char* why) {
    if (logged_) return;
    n_error("%s: %s; nothing skinned\n", GetFullName().c_str(), why);
    logged_ = true;
}

bool nSkinNode::Attach(nSceneGraph2* sceneGraph) {
    if (!GetActive()) return true;
    nSceneNodeRecord* parent = sceneGraph->GetCurrentNode();
    nChannelContext* ctx = parent ? parent->channelContext : nullptr;
    if (!sceneGraph->PushNode()) return false;
    if (!ctx) ctx = refChannel->NewContext(GetChannelSet());
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    rec->channelContext = ctx;
    const float lod = nChannelContext::Read(ctx, lodChannel_).f[0];
    bool result = true;
    if (GetMaxLod() == 0.0f || lod < GetMaxLod()) {
        n3DNode::Compute(sceneGraph);
        rec->otherVisual = this;
        result = nVisNode::Attach(sceneGraph);
        // The mesh child is the source only: the skin pass draws it bent.
        if (rec->meshNode && rec->meshNode == meshChild()) rec->meshNode = nullptr;
    }
    sceneGraph->PopNode();
    return result;
}

void nSkinNode::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec) return;
    nMeshNode* mesh = meshChild();
    if (!mesh) return logOnce("no nmeshnode child");
    nRoot* parent = GetParent();
    if (!parent || !parent->IsA(nBoneSystem::classInfo.name)) return logOnce("the parent is no nbonesystem");
    auto* system = static_cast<nBoneSystem*>(parent);
    if (!system->IsCollected()) return logOnce("the bone system has no bone table yet");

    mesh->Compute(sceneGraph);
    nVertexBuffer* src = rec->vertexBuffer;
    rec->vertexBuffer = nullptr;
    nShadowCaster* sceneCaster = rec->shadowCaster;
    rec->shadowCaster = nullptr;
    if (!src) return;
    if (!skin_.Prepare(src, false, castShadow_ ? sceneCaster : nullptr, castShadow_ ? refShadow_.Get() : nullptr))
        return logOnce("the mesh has no joint weights");

    const int n = system->GetNumBones();
    if (int(boneMatrices_.size()) < n) boneMatrices_.resize(size_t(n));
    for (int i = 0; i < n; i++) {
        nJoint2* bone = system->GetBone(i);
        boneMatrices_[size_t(i)] = bone ? &bone->GetSkinCopy() : nullptr;
    }
    skin_.Skin(src, boneMatrices_.data(), n, rec->indexBuffer, rec->pixelShader, rec->texArray);
    if (nShadowCaster* caster = skin_.GetCaster()) refShadow_->AttachCaster(rec->matrix, caster);
}
