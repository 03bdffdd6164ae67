#pragma once
// One particle on every vertex of a mesh node, all born at the start of the current
// lifetime period (script class "nstaticmeshemitter"). Keeps no particles between
// frames; reads hand them out in runs of at most 128.
#include <string>

#include "anim/nLineEmitter.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nRef.h"

class nStaticMeshEmitter : public nPEmitter {
public:
    static const nClassInfo classInfo;

    nStaticMeshEmitter();

    void Compute(nSceneGraph2* sceneGraph) override;
    bool SaveCmds(nPersistServer* ps) override;
    bool BeginParticles(uint32_t renderContext, float time) override;
    int GetParticles(nParticle*& first) override;
    void EndParticles() override;

    // Relative paths resolve from the emitter; the next read fills the random fields
    // again.
    void SetMeshNode(const char* path);
    const char* GetMeshNode() const { return meshPath_.c_str(); }

private:
    std::string meshPath_;
    nPathRef<nRoot> refMesh_;
    bool meshLogged_ = false;
    nPathRef<nRoot> refSceneGraph_;
    nPathRef<nMathServer> refMath_;
    matrix44 world_;
    nRef<nVertexBuffer> mesh_;
    nVertexBuffer* locked_ = nullptr;
    float periodStart_ = 0.0f;
    int readPos_ = 0;
    int numVertices_ = 0;
    const float* coords_ = nullptr;
    int stride_ = 0;
    nParticle row_[nLineEmitter::RunSize];
    bool initialized_ = false;
};
