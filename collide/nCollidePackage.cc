#include "collide/nCollidePackage.h"

#include "collide/nCollideServer2.h"
#include "collide/nCollideShape2.h"
#include "kernel/nKernelServer.h"

void nCollidePackage(nKernelServer* ks) {
    ks->AddClass(nCollideServer2::classInfo);
    ks->AddClass(nCollideShape2::classInfo);
}
