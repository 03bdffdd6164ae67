#include "scene/nScenePackage.h"

#include "kernel/nKernelServer.h"
#include "scene/n3DNode.h"
#include "scene/nChannelServer.h"
#include "scene/nChnModulator.h"
#include "scene/nChnReader.h"
#include "scene/nFogNode.h"
#include "scene/nHyperMixer2.h"
#include "scene/nLightNode.h"
#include "scene/nLinkNode.h"
#include "scene/nMeshMixer.h"
#include "scene/nMeshNode.h"
#include "scene/nMixer.h"
#include "scene/nOctree.h"
#include "scene/nSceneGraph2.h"
#include "scene/nShadowCaster.h"
#include "scene/nHalo.h"
#include "scene/nLenseFlare.h"
#include "scene/nOverlayPlane.h"
#include "scene/nSBufShadowServer.h"
#include "scene/nShaderNode.h"
#include "scene/nShadowControl.h"
#include "scene/nShadowServer.h"
#include "scene/nTexArrayNode.h"
#include "scene/nVariableServer.h"
#include "scene/nVisNode.h"
#include "scene/nWeightTree.h"

void nScenePackage(nKernelServer* ks) {
    ks->AddClass(nChannelServer::classInfo);
    ks->AddClass(nVariableServer::classInfo);
    ks->AddClass(nVisNode::classInfo);
    ks->AddClass(n3DNode::classInfo);
    ks->AddClass(nMeshNode::classInfo);
    ks->AddClass(nMeshMixer::classInfo);
    ks->AddClass(nLinkNode::classInfo);
    ks->AddClass(nLightNode::classInfo);
    ks->AddClass(nFogNode::classInfo);
    ks->AddClass(nShaderNode::classInfo);
    ks->AddClass(nTexArrayNode::classInfo);
    ks->AddClass(nChnReader::classInfo);
    ks->AddClass(nChnModulator::classInfo);
    ks->AddClass(nMixer::classInfo);
    ks->AddClass(nWeightTree::classInfo);
    ks->AddClass(nHyperMixer2::classInfo);
    ks->AddClass(nSceneGraph2::classInfo);
    ks->AddClass(nShadowServer::classInfo);
    ks->AddClass(nShadowCaster::classInfo);
    ks->AddClass(nOctree::classInfo);
    ks->AddClass(nSBufShadowServer::classInfo);
    ks->AddClass(nShadowControl::classInfo);
    ks->AddClass(nLenseFlare::classInfo);
    ks->AddClass(nHalo::classInfo);
    ks->AddClass(nOverlayPlane::classInfo);
}
