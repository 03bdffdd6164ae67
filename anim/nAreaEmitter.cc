#include "anim/nAreaEmitter.h"

#include "kernel/nPersistServer.h"

namespace {
const nCmdDef<nAreaEmitter> cmds[] = {
    Bind<&nAreaEmitter::SetAreaSize>("v_setareasize_fff", "SEAZ"),
    {"fff_getareasize_v", "GEAZ",
     [](nAreaEmitter* self, nCmd* c) {
         vector3 s = self->GetAreaSize();
         c->Out()->SetF(s.x);
         c->Out()->SetF(s.y);
         c->Out()->SetF(s.z);
     }},
};
}  // namespace

const nClassInfo nAreaEmitter::classInfo = nClassInfo::Make<nAreaEmitter>("nareaemitter", "npservemitter", cmds);

void nAreaEmitter::Compute(nSceneGraph2* sceneGraph) {
    nPServEmitter::Compute(sceneGraph);
    RunBirthPass(sceneGraph);
}

bool nAreaEmitter::SaveCmds(nPersistServer* ps) {
    if (!nPServEmitter::SaveCmds(ps)) return false;
    vector3 s = GetAreaSize();
    return ps->Put(this, nId("SEAZ"), s.x, s.y, s.z);
}
