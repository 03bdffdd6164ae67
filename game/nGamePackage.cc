#include "game/nGamePackage.h"

#include "game/nbwAction.h"
#include "game/nbwItem.h"
#include "kernel/nKernelServer.h"

void nGamePackage(nKernelServer* ks) {
    ks->AddClass(nbwAction::classInfo);
    ks->AddClass(nbwItem::classInfo);
}
