#include "app/RegisterPackage.h"

#include "anim/nAnimCurveArray.h"
#include "anim/nAnimNode.h"
#include "anim/nAnimPackage.h"
#include "anim/nAnimServer.h"
#include "anim/nAreaEmitter.h"
#include "anim/nBone.h"
#include "anim/nBoneAnim.h"
#include "anim/nBoneAnimState.h"
#include "anim/nBoneSystem.h"
#include "anim/nCharacterNode.h"
#include "anim/nCharacterServer.h"
#include "anim/nChnSplitter.h"
#include "anim/nCurveArrayNode.h"
#include "anim/nEnvelope.h"
#include "anim/nEnvelopeServer.h"
#include "anim/nFlipFlop.h"
#include "anim/nIpol.h"
#include "anim/nJoint2.h"
#include "anim/nLineEmitter.h"
#include "anim/nMeshEffect.h"
#include "anim/nMeshEmitter.h"
#include "anim/nMeshIpol.h"
#include "anim/nPEmitter.h"
#include "anim/nPRender.h"
#include "anim/nPServEmitter.h"
#include "anim/nParticleServer.h"
#include "anim/nPointEmitter.h"
#include "anim/nSkinNode.h"
#include "anim/nSpecialFxServer.h"
#include "anim/nSpriteRender.h"
#include "anim/nStaticMeshEmitter.h"
#include "anim/nThreshNode.h"
#include "anim/nTrailRender.h"
#include "app/nAppPackage.h"
#include "app/nRepository.h"
#include "audio/nAudioPackage.h"
#include "audio/nAudioServer2.h"
#include "audio/nDSoundServer2.h"
#include "audio/nListenerNode.h"
#include "audio/nSoundNode.h"
#include "audio/nStream.h"
#include "audio/nWavStream.h"
#include "collide/nCollideNode.h"
#include "collide/nCollidePackage.h"
#include "collide/nCollideServer.h"
#include "collide/nCollideServer2.h"
#include "collide/nCollideShape2.h"
#include "collide/nXBoxShape.h"
#include "collide/nXCollideServer.h"
#include "collide/nXCylinderShape.h"
#include "collide/nXShape.h"
#include "collide/nXSphereShape.h"
#include "collide/nXTriangleShape.h"
#include "collide/nXTriangleShape2.h"
#include "game/nGamePackage.h"
#include "game/nNetwork.h"
#include "game/nbw2Observer.h"
#include "game/nbw2UwMenu.h"
#include "game/nbwAction.h"
#include "game/nbwActor.h"
#include "game/nbwBoat.h"
#include "game/nbwCamera.h"
#include "game/nbwDamageZone.h"
#include "game/nbwCavity.h"
#include "game/nbwCharacter.h"
#include "game/nbwContainer.h"
#include "game/nbwCutTool.h"
#include "game/nbwDiver.h"
#include "game/nbwDokuTool.h"
#include "game/nbwElevator.h"
#include "game/nbwDolpin.h"
#include "game/nbwDoor.h"
#include "game/nbwFish.h"
#include "game/nbwItem.h"
#include "game/nbwLeopard.h"
#include "game/nbwLevel.h"
#include "game/nbwObserver.h"
#include "game/nbwRescue.h"
#include "game/nbwSandHeap.h"
#include "game/nbwSandRemover.h"
#include "game/nbwStartPoint.h"
#include "game/nbwSwitch.h"
#include "game/nbwUwMenu.h"
#include "game/nbwWater.h"
#include "gfx/nD3D8IndexBuffer.h"
#include "gfx/nD3D8PixelShader.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8Texture.h"
#include "gfx/nGfxPackage.h"
#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShader.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexBuffer.h"
#include "input/nDI8Server.h"
#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "kernel/nClass.h"
#include "kernel/nEnv.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMathServer.h"
#include "kernel/nNpkFileServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRemoteServer.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nBaseObserver.h"
#include "logic/nCameraServer.h"
#include "logic/nChatServer.h"
#include "logic/nLogic2DServer.h"
#include "logic/nLogicAnim.h"
#include "logic/nLogicBoid.h"
#include "logic/nLogicButton.h"
#include "logic/nLogicCSprite.h"
#include "logic/nLogicCamera.h"
#include "logic/nLogicCar.h"
#include "logic/nLogicCharacter.h"
#include "logic/nLogicCollision2.h"
#include "logic/nLogicConnector.h"
#include "logic/nLogicElasticConnector.h"
#include "logic/nLogicEvent.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicFlashContainer.h"
#include "logic/nLogicFlock.h"
#include "logic/nLogicForce.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicInputServer.h"
#include "logic/nLogicIpol.h"
#include "logic/nLogicItem.h"
#include "logic/nLogicLevel.h"
#include "logic/nLogicLinkNode.h"
#include "logic/nLogicNode.h"
#include "logic/nLogicObserverCamera.h"
#include "logic/nLogicPackage.h"
#include "logic/nLogicPersonCamera.h"
#include "logic/nLogicPhysik2.h"
#include "logic/nLogicSkeleton.h"
#include "logic/nLogicSound.h"
#include "logic/nLogicSprite.h"
#include "logic/nLogicVideo.h"
#include "logic/nLogicTrigger2.h"
#include "logic/nLogicVisual2.h"
#include "logic/nModAnimator.h"
#include "logic/nModExactCollision.h"
#include "logic/nModPhysik.h"
#include "logic/nModScriptAnimator.h"
#include "logic/nModSimpleCollision.h"
#include "logic/nModTransformer.h"
#include "logic/nModVectorAnimator.h"
#include "logic/nModVisualizer.h"
#include "logic/nObserver.h"
#include "logic/nModule.h"
#include "logic/nPersist.h"
#include "logic/nPersistLogic.h"
#include "physics/nOdePhysikServer.h"
#include "physics/nPhysikPackage.h"
#include "physics/nPhysikServer.h"
#include "scene/n3DNode.h"
#include "scene/nChannelServer.h"
#include "scene/nChnModulator.h"
#include "scene/nChnReader.h"
#include "scene/nFogNode.h"
#include "scene/nHalo.h"
#include "scene/nHyperMixer2.h"
#include "scene/nLenseFlare.h"
#include "scene/nLightNode.h"
#include "scene/nLinkNode.h"
#include "scene/nMeshMixer.h"
#include "scene/nMeshNode.h"
#include "scene/nMixer.h"
#include "scene/nOctree.h"
#include "scene/nOverlayPlane.h"
#include "scene/nSBufShadowServer.h"
#include "scene/nSceneGraph2.h"
#include "scene/nScenePackage.h"
#include "scene/nShaderNode.h"
#include "scene/nShadowCaster.h"
#include "scene/nShadowControl.h"
#include "scene/nShadowServer.h"
#include "scene/nTexArrayNode.h"
#include "scene/nVariableServer.h"
#include "scene/nVisNode.h"
#include "scene/nWeightTree.h"
#include "script/nConServer.h"
#include "script/nLuaScriptlet.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"
#include "script/nScriptlet.h"
#include "tools/nMacroExec2.h"
#include "tools/nPlugin.h"
#include "tools/nPluginServer.h"
#include "tools/nRootEdit.h"
#include "tools/nScriptEdit.h"
#include "tools/nToolsPackage.h"
#include "tools/nTreeView.h"
#include "video/nAviPlayer.h"
#include "video/nBinkPlayer.h"
#include "video/nVideoPackage.h"

namespace {

// Registration order: superclasses first, the engine's interfaces before their
// implementations, the game's own classes last. A class that is not built yet has no row;
// it gets one at its place in this order when it lands.
const nClassInfo* const kTable[] = {
    &nRoot::classInfo,
    &nTimeServer::classInfo,
    &nPersistServer::classInfo,
    &nFileServer2::classInfo,
    &nScriptServer::classInfo,
    &nEnv::classInfo,
    &nRemoteServer::classInfo,
    &nGfxServer::classInfo,
    &nTexture::classInfo,
    &nVertexBuffer::classInfo,
    &nIndexBuffer::classInfo,
    &nPixelShader::classInfo,
    &nVariableServer::classInfo,
    &nSceneGraph2::classInfo,
    &nChannelServer::classInfo,
    &nInputServer::classInfo,
    &nShadowServer::classInfo,
    &nShadowCaster::classInfo,
    &nSBufShadowServer::classInfo,
    &nObserver::classInfo,
    &nOctree::classInfo,
    &nSpecialFxServer::classInfo,
    &nNpkFileServer::classInfo,
    &nVisNode::classInfo,
    &n3DNode::classInfo,
    &nJoint2::classInfo,
    &nMeshNode::classInfo,
    &nShaderNode::classInfo,
    &nTexArrayNode::classInfo,
    &nShadowControl::classInfo,
    &nAnimNode::classInfo,
    &nIpol::classInfo,
    &nLightNode::classInfo,
    &nLinkNode::classInfo,
    &nMeshIpol::classInfo,
    &nCharacterNode::classInfo,
    &nChnModulator::classInfo,
    &nChnReader::classInfo,
    &nChnSplitter::classInfo,
    &nCurveArrayNode::classInfo,
    &nFlipFlop::classInfo,
    &nFogNode::classInfo,
    &nHyperMixer2::classInfo,
    &nLenseFlare::classInfo,
    &nMeshEffect::classInfo,
    &nMeshMixer::classInfo,
    &nMixer::classInfo,
    &nOverlayPlane::classInfo,
    &nThreshNode::classInfo,
    &nWeightTree::classInfo,
    &nCharacterServer::classInfo,
    &nAnimServer::classInfo,
    &nAnimCurveArray::classInfo,
    &nAudioServer2::classInfo,
    &nSoundNode::classInfo,
    &nListenerNode::classInfo,
    &nStream::classInfo,
    &nWavStream::classInfo,
    &nMathServer::classInfo,
    &nConServer::classInfo,
    &nScriptlet::classInfo,
    &nParticleServer::classInfo,
    &nPEmitter::classInfo,
    &nPServEmitter::classInfo,
    &nPointEmitter::classInfo,
    &nLineEmitter::classInfo,
    &nAreaEmitter::classInfo,
    &nMeshEmitter::classInfo,
    &nStaticMeshEmitter::classInfo,
    &nPRender::classInfo,
    &nSpriteRender::classInfo,
    &nTrailRender::classInfo,
    &nCollideServer::classInfo,
    &nCollideNode::classInfo,
    &nCollideServer2::classInfo,
    &nCollideShape2::classInfo,
    &nDSoundServer2::classInfo,
    &nD3D8Server::classInfo,
    &nD3D8Texture::classInfo,
    &nD3D8IndexBuffer::classInfo,
    &nD3D8PixelShader::classInfo,
    &nDI8Server::classInfo,
    &nBaseObserver::classInfo,
    &nChatServer::classInfo,
    &nHalo::classInfo,
    &nPersist::classInfo,
    &nEnvelopeServer::classInfo,
    &nEnvelope::classInfo,
    &nAviPlayer::classInfo,
    &nLuaServer2::classInfo,
    &nLuaScriptlet::classInfo,
    &nBoneSystem::classInfo,
    &nBone::classInfo,
    &nBoneAnim::classInfo,
    &nBoneAnimState::classInfo,
    &nSkinNode::classInfo,
    &nRepository::classInfo,
    &nLogicLinkNode::classInfo,
    &nLogicEventServer::classInfo,
    &nLogicEvent::classInfo,
    &nLogic2DServer::classInfo,
    &nPersistLogic::classInfo,
    &nLogicGraph::classInfo,
    &nLogicInputServer::classInfo,
    &nLogicNode::classInfo,
    &nLogicInput::classInfo,
    &nLogicVisual2::classInfo,
    &nLogicCollision2::classInfo,
    &nLogicPhysik2::classInfo,
    &nLogicTrigger2::classInfo,
    &nLogicSkeleton::classInfo,
    &nLogicConnector::classInfo,
    &nLogicCharacter::classInfo,
    &nLogicElasticConnector::classInfo,
    &nCameraServer::classInfo,
    &nLogicCamera::classInfo,
    &nLogicObserverCamera::classInfo,
    &nLogicPersonCamera::classInfo,
    &nLogicSprite::classInfo,
    &nLogicCSprite::classInfo,
    &nLogicFlash::classInfo,
    &nLogicFlashContainer::classInfo,
    &nLogicIpol::classInfo,
    &nLogicAnim::classInfo,
    &nLogicBoid::classInfo,
    &nLogicFlock::classInfo,
    &nLogicItem::classInfo,
    &nLogicButton::classInfo,
    &nLogicLevel::classInfo,
    &nLogicCar::classInfo,
    &nLogicForce::classInfo,
    &nLogicVideo::classInfo,
    &nLogicSound::classInfo,
    &nXCollideServer::classInfo,
    &nXShape::classInfo,
    &nXSphereShape::classInfo,
    &nXBoxShape::classInfo,
    &nXCylinderShape::classInfo,
    &nXTriangleShape::classInfo,
    &nXTriangleShape2::classInfo,
    &nPhysikServer::classInfo,
    &nOdePhysikServer::classInfo,
    &nPluginServer::classInfo,
    &nPlugin::classInfo,
    &nTreeView::classInfo,
    &nScriptEdit::classInfo,
    &nRootEdit::classInfo,
    &nMacroExec2::classInfo,
    &nModule::classInfo,
    &nModTransformer::classInfo,
    &nModVisualizer::classInfo,
    &nModSimpleCollision::classInfo,
    &nModExactCollision::classInfo,
    &nModPhysik::classInfo,
    &nModAnimator::classInfo,
    &nModVectorAnimator::classInfo,
    &nModScriptAnimator::classInfo,
    &nbwObserver::classInfo,
    &nbwAction::classInfo,
    &nbwActor::classInfo,
    &nbwDiver::classInfo,
    &nbwItem::classInfo,
    &nbwContainer::classInfo,
    &nbwCutTool::classInfo,
    &nbwDoor::classInfo,
    &nbwDokuTool::classInfo,
    &nbwSandRemover::classInfo,
    &nbwSandHeap::classInfo,
    &nbwDamageZone::classInfo,
    &nbwLevel::classInfo,
    &nbwStartPoint::classInfo,
    &nbwUwMenu::classInfo,
    &nbwCamera::classInfo,
    &nbwElevator::classInfo,
    &nbwFish::classInfo,
    &nBinkPlayer::classInfo,
    &nbw2Observer::classInfo,
    &nbwCharacter::classInfo,
    &nbwWater::classInfo,
    &nbwBoat::classInfo,
    &nbwCavity::classInfo,
    &nbwDolpin::classInfo,
    &nbwLeopard::classInfo,
    &nbwSwitch::classInfo,
    &nbwRescue::classInfo,
    &nbw2UwMenu::classInfo,
    &nNetwork::classInfo,
};

}  // namespace

std::span<const nClassInfo* const> PackageTable() {
    return kTable;
}

void RegisterPackage(nKernelServer* ks) {
    for (const nClassInfo* info : kTable) ks->AddClass(*info);

    // Every folder registers its classes for the tests that make them; whatever a folder
    // registers that the table lacks still reaches the game, after the table, and says so.
    nClass* last = nullptr;
    for (nClass* c = ks->GetFirstClass(); c; c = c->GetSucc()) last = c;
    nKernelPackage(ks);
    nScriptPackage(ks);
    nAppPackage(ks);
    nGfxPackage(ks);
    nInputPackage(ks);
    nScenePackage(ks);
    nAudioPackage(ks);
    nVideoPackage(ks);
    nAnimPackage(ks);
    nCollidePackage(ks);
    nPhysikPackage(ks);
    nLogicPackage(ks);
    nGamePackage(ks);
    nToolsPackage(ks);
    for (nClass* c = last ? last->GetSucc() : ks->GetFirstClass(); c; c = c->GetSucc()) {
        ks->Print("RegisterPackage: class '%s' is missing from the package's table\n", c->GetName());
    }
}
