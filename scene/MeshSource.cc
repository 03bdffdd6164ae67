#include "scene/MeshSource.h"

#include "kernel/nKernelServer.h"
#include "scene/nSceneGraph2.h"
#include "scene/nVisNode.h"

void MeshSource::SetPath(const char* path) {
    ref_.SetPath(path && *path ? path : nullptr);
    logged_ = false;
}

void MeshSource::LogOnce(nVisNode* owner, const char* what) {
    if (logged_) return;
    logged_ = true;
    n_error("%s: mesh '%s': %s\n", owner->GetFullName().c_str(), GetPath(), what);
}

nVisNode* MeshSource::Resolve(nVisNode* owner) {
    if (!ref_.GetPath()) {
        LogOnce(owner, "no path set");
        return nullptr;
    }
    if (!ref_.IsResolved()) ref_.SetCwd(owner);
    nRoot* obj = ref_.Resolve();
    if (!obj) {
        LogOnce(owner, "not found");
        return nullptr;
    }
    if (!owner->IsVisual(obj)) {
        LogOnce(owner, "not a visual node");
        return nullptr;
    }
    return static_cast<nVisNode*>(obj);
}

nVertexBuffer* MeshSource::Take(nVisNode* owner, nSceneGraph2* sceneGraph) {
    nSceneNodeRecord* rec = sceneGraph ? sceneGraph->GetCurrentNode() : nullptr;
    nVisNode* node = rec ? Resolve(owner) : nullptr;
    if (!node) return nullptr;
    if (node == owner) {
        LogOnce(owner, "leads back to the node itself");
        return nullptr;
    }
    // Cleared first, so a source that produces nothing is not mistaken for the buffer
    // something else left there.
    rec->vertexBuffer = nullptr;
    node->Compute(sceneGraph);
    nVertexBuffer* vb = rec->vertexBuffer;
    rec->vertexBuffer = nullptr;
    if (!vb) LogOnce(owner, "gives no vertex buffer");
    return vb;
}
