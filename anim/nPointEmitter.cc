#include "anim/nPointEmitter.h"

const nClassInfo nPointEmitter::classInfo = nClassInfo::Make<nPointEmitter>("npointemitter", "npservemitter");

void nPointEmitter::Compute(nSceneGraph2* sceneGraph) {
    nPServEmitter::Compute(sceneGraph);
    RunBirthPass(sceneGraph);
}
