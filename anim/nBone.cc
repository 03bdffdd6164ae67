#include "anim/nBone.h"

#include <cstring>

#include "gfx/nGfxServer.h"
#include "kernel/nCmd.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {

const nCmdDef<nBone> cmds[] = {
    Bind<&nBone::SetVisible>("v_setvisible_b", "SESB"),
    Bind<&nBone::GetVisible>("b_getvisible_v", "GESB"),
    Bind<&nBone::SetVisibleRec>("v_setvisiblerec_b", "SEBR"),
};

}  // namespace

const nClassInfo nBone::classInfo = nClassInfo::Make<nBone>("nbone", "njoint2", cmds);

nBone::nBone() = default;

void nBone::SetVisibleRec(bool on) {
    visible_ = on;
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (c->IsA(classInfo.name)) static_cast<nBone*>(c)->SetVisibleRec(on);
    }
}

nBone* nBone::findBelow(const char* name) {
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (!c->IsA(classInfo.name)) continue;
        auto* bone = static_cast<nBone*>(c);
        if (bone->GetName() && std::strcmp(bone->GetName(), name) == 0) return bone;
        if (nBone* found = bone->findBelow(name)) return found;
    }
    return nullptr;
}

nBone* nBone::FindBone(const char* name) {
    if (!name) return nullptr;
    if ((GetName() && std::strcmp(GetName(), name) == 0) || std::strcmp(name, ".") == 0) return this;
    if (std::strcmp(name, "..") == 0) {
        nRoot* parent = GetParent();
        return parent && parent->IsA(classInfo.name) ? static_cast<nBone*>(parent) : nullptr;
    }
    nRoot* child = FindChild(name);
    if (child && child->IsA(classInfo.name)) return static_cast<nBone*>(child);
    return findBelow(name);
}

bool nBone::Attach(nSceneGraph2* sceneGraph) {
    computing_ = true;
    const bool ok = n3DNode::Attach(sceneGraph);
    if (visible_) {
        computing_ = false;
        // One slot a scene node: the last visible child attached there wins.
        if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    }
    return ok;
}

void nBone::Compute(nSceneGraph2* sceneGraph) {
    if (computing_) {
        nJoint2::Compute(sceneGraph);
        return;
    }
    nSceneNodeRecord* rec = sceneGraph ? sceneGraph->GetCurrentNode() : nullptr;
    if (!rec) return;
    nGfxServer* gfx = refGfx.Get();
    gfx->SetMatrix(nGfxServer::MODELVIEW, rec->matrix);
    gfx->Begin(3);
    const vector3& t = GetT();
    gfx->Rgba(0.6f, 0.8f, 1.0f, 1.0f);
    gfx->Coord(0, 0, 0);
    gfx->Coord(t.x, t.y, t.z);
    const float axis = 0.08f;
    gfx->Rgba(1, 0, 0, 1);
    gfx->Coord(0, 0, 0);
    gfx->Coord(axis, 0, 0);
    gfx->Rgba(0, 1, 0, 1);
    gfx->Coord(0, 0, 0);
    gfx->Coord(0, axis, 0);
    gfx->Rgba(0, 0, 1, 1);
    gfx->Coord(0, 0, 0);
    gfx->Coord(0, 0, axis);
    gfx->End();
}

bool nBone::SaveCmds(nPersistServer* ps) {
    if (!nJoint2::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SESB"), visible_);
}
