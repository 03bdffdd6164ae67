#pragma once
// A mesh bent by the bones of a bone system (script class "nskinnode", no commands of
// its own): sits directly under an "nbonesystem", whose bone table the mesh's joint
// indices address, and has an "nmeshnode" child holding the undeformed skin. Each frame
// it writes the bent vertices into a buffer of its own and draws it.
#include <vector>

#include "anim/nCharSkin.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "scene/n3DNode.h"

class nMeshNode;
class nShadowServer;

class nSkinNode : public n3DNode {
public:
    static const nClassInfo classInfo;

    nSkinNode();

    // As a transform node, but culled by "lod" alone; registers itself to be computed
    // with its scene node, and keeps its mesh child from drawing the unbent mesh.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Bends the mesh child's vertices by the parent bone system's bones and draws them.
    // Without a mesh child, a bone-system parent or a built bone table nothing is drawn
    // (logged once).
    void Compute(nSceneGraph2* sceneGraph) override;
    // "lod" only.
    void CollectChannels(nChannelSet* set) override;

    void SetCastShadow(bool on) { castShadow_ = on; }
    bool GetCastShadow() const { return castShadow_; }
    nCharSkin& GetSkin() { return skin_; }

private:
    nMeshNode* meshChild();
    void logOnce(const char* why);

    nPathRef<nShadowServer> refShadow_;
    nCharSkin skin_;
    nRef<nMeshNode> mesh_;
    bool castShadow_ = false;
    int lodChannel_ = -1;
    bool logged_ = false;
    // Skin matrices of the bone table handed to the skin pass; grows with the table only.
    std::vector<const matrix44*> boneMatrices_;
};
