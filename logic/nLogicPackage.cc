#include "logic/nLogicPackage.h"

#include "kernel/nKernelServer.h"
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
#include "logic/nModule.h"
#include "logic/nModVisualizer.h"
#include "logic/nObserver.h"
#include "logic/nPersist.h"
#include "logic/nPersistLogic.h"
#include "scene/nLinkNode.h"
#include "scene/nVisNode.h"

void nLogicPackage(nKernelServer* ks) {
    ks->AddClass(nPersist::classInfo);
    ks->AddClass(nPersistLogic::classInfo);
    ks->AddClass(nLogicEvent::classInfo);
    ks->AddClass(nLogicEventServer::classInfo);
    ks->AddClass(nLogicNode::classInfo);
    ks->AddClass(nChatServer::classInfo);
    ks->AddClass(nLogicInputServer::classInfo);
    ks->AddClass(nLogicInput::classInfo);
    ks->AddClass(nLogicGraph::classInfo);
    ks->AddClass(nModule::classInfo);
    ks->AddClass(nModTransformer::classInfo);
    ks->AddClass(nLogicVisual2::classInfo);
    // The logic link node is a scene link node; registering the scene's classes twice is
    // harmless.
    ks->AddClass(nVisNode::classInfo);
    ks->AddClass(nLinkNode::classInfo);
    ks->AddClass(nLogicLinkNode::classInfo);
    ks->AddClass(nModVisualizer::classInfo);
    ks->AddClass(nLogic2DServer::classInfo);
    ks->AddClass(nBaseObserver::classInfo);
    ks->AddClass(nObserver::classInfo);
    ks->AddClass(nModSimpleCollision::classInfo);
    ks->AddClass(nModExactCollision::classInfo);
    ks->AddClass(nModPhysik::classInfo);
    ks->AddClass(nModAnimator::classInfo);
    ks->AddClass(nModVectorAnimator::classInfo);
    ks->AddClass(nModScriptAnimator::classInfo);
    ks->AddClass(nLogicCollision2::classInfo);
    ks->AddClass(nLogicTrigger2::classInfo);
    ks->AddClass(nLogicPhysik2::classInfo);
    ks->AddClass(nLogicConnector::classInfo);
    ks->AddClass(nLogicElasticConnector::classInfo);
    ks->AddClass(nLogicCharacter::classInfo);
    ks->AddClass(nLogicSkeleton::classInfo);
    ks->AddClass(nLogicItem::classInfo);
    ks->AddClass(nCameraServer::classInfo);
    ks->AddClass(nLogicCamera::classInfo);
    ks->AddClass(nLogicObserverCamera::classInfo);
    ks->AddClass(nLogicPersonCamera::classInfo);
    ks->AddClass(nLogicSprite::classInfo);
    ks->AddClass(nLogicCSprite::classInfo);
    ks->AddClass(nLogicFlash::classInfo);
    ks->AddClass(nLogicFlashContainer::classInfo);
    ks->AddClass(nLogicIpol::classInfo);
    ks->AddClass(nLogicAnim::classInfo);
    ks->AddClass(nLogicButton::classInfo);
    ks->AddClass(nLogicVideo::classInfo);
    ks->AddClass(nLogicSound::classInfo);
    ks->AddClass(nLogicFlock::classInfo);
    ks->AddClass(nLogicBoid::classInfo);
    ks->AddClass(nLogicLevel::classInfo);
    ks->AddClass(nLogicCar::classInfo);
    ks->AddClass(nLogicForce::classInfo);
}
