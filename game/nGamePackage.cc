#include "game/nGamePackage.h"

#include "game/nbwAction.h"
#include "kernel/nKernelServer.h"

void nGamePackage(nKernelServer* ks) {
    ks->AddClass(nbwAction::classInfo);
}
