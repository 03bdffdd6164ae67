#include "kernel/nKernelPackage.h"

#include "kernel/nEnv.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMathServer.h"
#include "kernel/nNpkFileServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRemoteServer.h"
#include "kernel/nRoot.h"
#include "kernel/nTimeServer.h"

void nKernelPackage(nKernelServer* ks) {
    ks->AddClass(nRoot::classInfo);
    ks->AddClass(nFileServer2::classInfo);
    ks->AddClass(nEnv::classInfo);
    ks->AddClass(nNpkFileServer::classInfo);
    ks->AddClass(nTimeServer::classInfo);
    ks->AddClass(nMathServer::classInfo);
    ks->AddClass(nRemoteServer::classInfo);
    ks->AddClass(nPersistServer::classInfo);
}
