#include "kernel/nKernelPackage.h"

#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"

void nKernelPackage(nKernelServer* ks) {
    ks->AddClass(nRoot::classInfo);
}
