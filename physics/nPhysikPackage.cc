#include "physics/nPhysikPackage.h"

#include "kernel/nKernelServer.h"
#include "physics/nOdePhysikServer.h"
#include "physics/nPhysikServer.h"

void nPhysikPackage(nKernelServer* ks) {
    ks->AddClass(nPhysikServer::classInfo);
    ks->AddClass(nOdePhysikServer::classInfo);
}
