#include "script/nScriptPackage.h"

#include "kernel/nKernelServer.h"
#include "script/nLuaServer2.h"
#include "script/nScriptServer.h"

void nScriptPackage(nKernelServer* ks) {
    ks->AddClass(nScriptServer::classInfo);
    ks->AddClass(nLuaServer2::classInfo);
}
