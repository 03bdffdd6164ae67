#include "app/nAppPackage.h"

#include "app/nRepository.h"
#include "kernel/nKernelServer.h"

void nAppPackage(nKernelServer* ks) {
    ks->AddClass(nRepository::classInfo);
}
