#include "script/nScriptPackage.h"

#include "kernel/nKernelServer.h"
#include "script/nConServer.h"
#include "script/nLuaScriptlet.h"
#include "script/nLuaServer2.h"
#include "kernel/nScriptServer.h"
#include "script/nScriptlet.h"

void nScriptPackage(nKernelServer* ks) {
    ks->AddClass(nScriptServer::classInfo);
    ks->AddClass(nLuaServer2::classInfo);
    ks->AddClass(nScriptlet::classInfo);
    ks->AddClass(nLuaScriptlet::classInfo);
    ks->AddClass(nConServer::classInfo);
}
