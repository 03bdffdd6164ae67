#include "scene/nShadowControl.h"

#include "kernel/nPersistServer.h"
#include "scene/nShadowServer.h"

const nCmdDef<nShadowControl> nShadowControl::cmds[] = {
    Bind<&nShadowControl::SetColor>("v_setcolor_ffff", "SCOL"),
    {"ffff_getcolor_v", "GCOL",
     [](nShadowControl* self, nCmd* c) {
         for (float v : self->color_) c->Out()->SetF(v);
     }},
};

const nClassInfo nShadowControl::classInfo = nClassInfo::Make<nShadowControl>("nshadowcontrol", "nvisnode", cmds);

nShadowControl::nShadowControl() : refShadow_("/sys/servers/shadow") {}

void nShadowControl::Initialize() {
    nRoot* parent = GetParent();
    if (IsVisual(parent)) AddDepend(static_cast<nVisNode*>(parent));
    nVisNode::Initialize();
}

void nShadowControl::SetColor(float r, float g, float b, float a) {
    color_[0] = r, color_[1] = g, color_[2] = b, color_[3] = a;
}

void nShadowControl::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    refShadow_.Get()->SetShadowColor(color_[0], color_[1], color_[2], color_[3]);
}

bool nShadowControl::SaveCmds(nPersistServer* ps) {
    return nVisNode::SaveCmds(ps) && ps->Put(this, nId("SCOL"), color_[0], color_[1], color_[2], color_[3]);
}
