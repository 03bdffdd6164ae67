#include "anim/nAnimPackage.h"

#include "anim/nAnimCurveArray.h"
#include "anim/nAnimNode.h"
#include "anim/nAnimServer.h"
#include "anim/nChnSplitter.h"
#include "anim/nBone.h"
#include "anim/nBoneAnim.h"
#include "anim/nBoneAnimState.h"
#include "anim/nBoneSystem.h"
#include "anim/nJoint2.h"
#include "anim/nSkinNode.h"
#include "anim/nCharacterNode.h"
#include "anim/nCharacterServer.h"
#include "anim/nCurveArrayNode.h"
#include "anim/nEnvelope.h"
#include "anim/nFlipFlop.h"
#include "anim/nIpol.h"
#include "anim/nMeshEffect.h"
#include "anim/nMeshIpol.h"
#include "anim/nAreaEmitter.h"
#include "anim/nLineEmitter.h"
#include "anim/nMeshEmitter.h"
#include "anim/nStaticMeshEmitter.h"
#include "anim/nPEmitter.h"
#include "anim/nPRender.h"
#include "anim/nSpriteRender.h"
#include "anim/nTrailRender.h"
#include "anim/nPServEmitter.h"
#include "anim/nParticleServer.h"
#include "anim/nPointEmitter.h"
#include "anim/nEnvelopeServer.h"
#include "anim/nSpecialFxServer.h"
#include "anim/nThreshNode.h"
#include "kernel/nKernelServer.h"
#include "scene/n3DNode.h"
#include "scene/nVisNode.h"

void nAnimPackage(nKernelServer* ks) {
    ks->AddClass(nEnvelopeServer::classInfo);
    ks->AddClass(nEnvelope::classInfo);
    ks->AddClass(nSpecialFxServer::classInfo);
    ks->AddClass(nAnimCurveArray::classInfo);
    ks->AddClass(nAnimServer::classInfo);
    // The animation nodes are visual nodes; registering the base twice is harmless.
    ks->AddClass(nVisNode::classInfo);
    ks->AddClass(nAnimNode::classInfo);
    ks->AddClass(nIpol::classInfo);
    ks->AddClass(nCurveArrayNode::classInfo);
    ks->AddClass(nMeshIpol::classInfo);
    ks->AddClass(nMeshEffect::classInfo);
    ks->AddClass(nChnSplitter::classInfo);
    ks->AddClass(nThreshNode::classInfo);
    ks->AddClass(nFlipFlop::classInfo);
    ks->AddClass(nCharacterServer::classInfo);
    ks->AddClass(nCharacterNode::classInfo);
    // The joints are transform nodes; registering the scene's classes twice is harmless.
    ks->AddClass(n3DNode::classInfo);
    ks->AddClass(nJoint2::classInfo);
    ks->AddClass(nBone::classInfo);
    ks->AddClass(nBoneSystem::classInfo);
    ks->AddClass(nSkinNode::classInfo);
    ks->AddClass(nBoneAnimState::classInfo);
    ks->AddClass(nBoneAnim::classInfo);
    ks->AddClass(nParticleServer::classInfo);
    ks->AddClass(nPEmitter::classInfo);
    ks->AddClass(nPServEmitter::classInfo);
    ks->AddClass(nPointEmitter::classInfo);
    ks->AddClass(nAreaEmitter::classInfo);
    ks->AddClass(nMeshEmitter::classInfo);
    ks->AddClass(nLineEmitter::classInfo);
    ks->AddClass(nStaticMeshEmitter::classInfo);
    ks->AddClass(nPRender::classInfo);
    ks->AddClass(nSpriteRender::classInfo);
    ks->AddClass(nTrailRender::classInfo);
}
