#include "tools/nToolsPackage.h"

#include "kernel/nKernelServer.h"
#include "tools/nMacroExec2.h"
#include "tools/nPlugin.h"
#include "tools/nPluginServer.h"

void nToolsPackage(nKernelServer* ks) {
    ks->AddClass(nPluginServer::classInfo);
    ks->AddClass(nPlugin::classInfo);
    ks->AddClass(nMacroExec2::classInfo);
}
