#include "input/nInputPackage.h"

#include "input/nDI8Server.h"
#include "input/nInputServer.h"
#include "kernel/nKernelServer.h"

void nInputPackage(nKernelServer* ks) {
    ks->AddClass(nInputServer::classInfo);
    ks->AddClass(nDI8Server::classInfo);
}
