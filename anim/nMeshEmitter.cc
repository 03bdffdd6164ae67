#include "anim/nMeshEmitter.h"

#include "anim/nParticleBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMathServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {
const nCmdDef<nMeshEmitter> cmds[] = {
    Bind<&nMeshEmitter::SetMeshNode>("v_setmeshnode_s", "SMSN"),
    Bind<&nMeshEmitter::GetMeshNode>("s_getmeshnode_v", "GMSN"),
};
}  // namespace

const nClassInfo nMeshEmitter::classInfo = nClassInfo::Make<nMeshEmitter>("nmeshemitter", "npservemitter", cmds);

nMeshEmitter::nMeshEmitter() {
    refMesh_.SetCwd(this);
}

void nMeshEmitter::SetMeshNode(const char* path) {
    meshPath_ = path ? path : "";
    refMesh_.SetPath(meshPath_.empty() ? nullptr : meshPath_.c_str());
    meshLogged_ = false;
}

bool nMeshEmitter::SaveCmds(nPersistServer* ps) {
    if (!nPServEmitter::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SMSN"), meshPath_.c_str());
}

void nMeshEmitter::Compute(nSceneGraph2* sceneGraph) {
    nPServEmitter::Compute(sceneGraph);
    RunBirthPass(sceneGraph);
}

bool nMeshEmitter::BeginBirths(nSceneGraph2* sceneGraph) {
    nVertexBuffer* vb = TakeMesh(sceneGraph, refMesh_, meshLogged_);
    if (!vb || vb->GetNumVertices() <= 0 || !vb->Lock()) return false;
    if (vb->GetLockedCount() <= 0 || !vb->GetCoordPtr()) {
        vb->Unlock();
        return false;
    }
    locked_ = vb;
    coords_ = vb->GetCoordPtr();
    numVertices_ = vb->GetLockedCount();
    stride_ = vb->GetStride();
    return nPServEmitter::BeginBirths(sceneGraph);
}

void nMeshEmitter::EndBirths() {
    if (locked_) locked_->Unlock();
    locked_ = nullptr;
    coords_ = nullptr;
}

void nMeshEmitter::Emit(nParticleBuffer* buffer, float birthTime) {
    constexpr float Pi = 3.14159265358979f;
    nMathServer* math = refMath_.Get();
    const float* dir = math->GetEntry(static_cast<int>(dirIndex_++ & 255));
    float v = math->GetRandom(static_cast<int>(vertexIndex_++ & 1023));
    int vi = static_cast<int>((v + 1.0f) * 0.5f * float(numVertices_));
    if (vi > numVertices_ - 1) vi = numVertices_ - 1;
    if (vi < 0) vi = 0;
    const float* c = coords_ + static_cast<size_t>(vi) * static_cast<size_t>(stride_);
    vector3 pos = world_ * vector3(c[0], c[1], c[2]);
    float u = (math->GetRandom(static_cast<int>(dirIndex_++ & 1023)) + 1.0f) / 2.0f;
    bool reverse = dirSpin_ && u >= 0.5f;
    float speed = u * rSpeed_ + speed_;
    float share = (math->GetRandom(static_cast<int>(dirIndex_++ & 1023)) + 1.0f) / 2.0f;
    nParticle* p = buffer->Push();
    p->birthTime = birthTime;
    p->position = pos;
    p->velocity = vector3(dir[0] * speed, dir[1] * speed, dir[2] * speed);
    p->axis = vector3(1.0f, 0.0f, 0.0f);
    p->accelFactor = 1.0f + share * rAccel_;
    p->sizeFactor = 1.0f + share * rSize_;
    p->speedScale = 1.0f;
    p->spin = share * rSpin_ * 180.0f / Pi;
    p->reverseSpin = reverse ? 1 : 0;
}
