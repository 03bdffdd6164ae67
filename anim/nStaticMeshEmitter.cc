#include "anim/nStaticMeshEmitter.h"

#include <cmath>

#include "gfx/nGfxServer.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nMathServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {
const nCmdDef<nStaticMeshEmitter> cmds[] = {
    Bind<&nStaticMeshEmitter::SetMeshNode>("v_setmeshnode_s", "SMSN"),
    Bind<&nStaticMeshEmitter::GetMeshNode>("s_getmeshnode_v", "GMSN"),
};
}  // namespace

const nClassInfo nStaticMeshEmitter::classInfo =
    nClassInfo::Make<nStaticMeshEmitter>("nstaticmeshemitter", "npemitter", cmds);

nStaticMeshEmitter::nStaticMeshEmitter() : refSceneGraph_("/sys/servers/sgraph2"), refMath_("/sys/servers/math") {
    refMesh_.SetCwd(this);
}

void nStaticMeshEmitter::SetMeshNode(const char* path) {
    meshPath_ = path ? path : "";
    refMesh_.SetPath(meshPath_.empty() ? nullptr : meshPath_.c_str());
    meshLogged_ = false;
    initialized_ = false;
}

bool nStaticMeshEmitter::SaveCmds(nPersistServer* ps) {
    if (!nPEmitter::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SMSN"), meshPath_.c_str());
}

void nStaticMeshEmitter::Compute(nSceneGraph2* sceneGraph) {
    nPEmitter::Compute(sceneGraph);
    mesh_.Set(TakeMesh(sceneGraph, refMesh_, meshLogged_));
}

bool nStaticMeshEmitter::BeginParticles(uint32_t, float time) {
    if (locked_) EndParticles();
    nVertexBuffer* mesh = mesh_.GetUnsafe();
    if (!mesh || mesh->GetNumVertices() <= 0 || !mesh->Lock()) return false;
    if (mesh->GetLockedCount() <= 0 || !mesh->GetCoordPtr()) {
        mesh->Unlock();
        return false;
    }
    locked_ = mesh;
    numVertices_ = mesh->GetLockedCount();
    coords_ = mesh->GetCoordPtr();
    stride_ = mesh->GetStride();
    readPos_ = 0;
    // Without a positive lifetime the period starts now.
    periodStart_ = lifetime_ > 0.0f ? std::trunc(time / lifetime_) * lifetime_ : time;
    nSceneNodeRecord* rec = static_cast<nSceneGraph2*>(refSceneGraph_.Get())->GetCurrentNode();
    world_ = (rec ? rec->matrix : matrix44()) * refGfx.Get()->GetMatrix(nGfxServer::VIEWER);
    return true;
}

int nStaticMeshEmitter::GetParticles(nParticle*& first) {
    first = nullptr;
    if (!coords_ || readPos_ >= numVertices_) return 0;
    if (!initialized_) {
        nLineEmitter::FillRow(row_, refMath_.Get(), *this);
        initialized_ = true;
    }
    int n = 0;
    for (; n < nLineEmitter::RunSize && readPos_ < numVertices_; n++, readPos_++) {
        const float* c = coords_ + static_cast<size_t>(readPos_) * static_cast<size_t>(stride_);
        row_[n].position = world_ * vector3(c[0], c[1], c[2]);
        row_[n].birthTime = periodStart_;
    }
    first = row_;
    return n;
}

void nStaticMeshEmitter::EndParticles() {
    coords_ = nullptr;
    if (locked_) locked_->Unlock();
    locked_ = nullptr;
}
