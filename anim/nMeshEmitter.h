#pragma once
// Emits from random vertices of a mesh node in random world directions (script class
// "nmeshemitter"). The mesh node is computed in the emitter's scene node only to get
// its vertices; it is not drawn there.
#include <string>

#include "anim/nPServEmitter.h"

class nVertexBuffer;

class nMeshEmitter : public nPServEmitter {
public:
    static const nClassInfo classInfo;

    nMeshEmitter();

    void Compute(nSceneGraph2* sceneGraph) override;
    bool SaveCmds(nPersistServer* ps) override;

    // Relative paths resolve from the emitter.
    void SetMeshNode(const char* path);
    const char* GetMeshNode() const { return meshPath_.c_str(); }

protected:
    bool BeginBirths(nSceneGraph2* sceneGraph) override;
    void Emit(nParticleBuffer* buffer, float birthTime) override;
    void EndBirths() override;

private:
    std::string meshPath_;
    nPathRef<nRoot> refMesh_;
    bool meshLogged_ = false;
    uint32_t dirIndex_ = 0;
    uint32_t vertexIndex_ = 0;
    nVertexBuffer* locked_ = nullptr;
    const float* coords_ = nullptr;
    int numVertices_ = 0;
    int stride_ = 0;
};
