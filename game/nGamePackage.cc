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
#include "kernel/nKernelServer.h"

void nGamePackage(nKernelServer* ks) {
    ks->AddClass(nbwObserver::classInfo);
    ks->AddClass(nbwAction::classInfo);
    ks->AddClass(nbwActor::classInfo);
    ks->AddClass(nbwDiver::classInfo);
    ks->AddClass(nbwItem::classInfo);
    ks->AddClass(nbwContainer::classInfo);
    ks->AddClass(nbwCutTool::classInfo);
    ks->AddClass(nbwDoor::classInfo);
    ks->AddClass(nbwDokuTool::classInfo);
    ks->AddClass(nbwSandRemover::classInfo);
    ks->AddClass(nbwSandHeap::classInfo);
    ks->AddClass(nbwDamageZone::classInfo);
    ks->AddClass(nbwLevel::classInfo);
    ks->AddClass(nbwStartPoint::classInfo);
    ks->AddClass(nbwUwMenu::classInfo);
    ks->AddClass(nbwCamera::classInfo);
    ks->AddClass(nbwElevator::classInfo);
    ks->AddClass(nbw2Observer::classInfo);
    ks->AddClass(nbwFish::classInfo);
    ks->AddClass(nbwCharacter::classInfo);
    ks->AddClass(nbwWater::classInfo);
    ks->AddClass(nbwBoat::classInfo);
    ks->AddClass(nbwCavity::classInfo);
    ks->AddClass(nbwDolpin::classInfo);
    ks->AddClass(nbwLeopard::classInfo);
    ks->AddClass(nbwRescue::classInfo);
    ks->AddClass(nbwSwitch::classInfo);
    ks->AddClass(nbw2UwMenu::classInfo);
    ks->AddClass(nNetwork::classInfo);
}
