#include "tools/nToolsPackage.h"

#include "kernel/nKernelServer.h"
#include "tools/nMacroExec2.h"
#include "tools/nPlugin.h"
#include "tools/nPluginServer.h"
#include "tools/nRootEdit.h"
#include "tools/nScriptEdit.h"
#include "tools/nTreeView.h"

void nToolsPackage(nKernelServer* ks) {
    ks->AddClass(nPluginServer::classInfo);
    ks->AddClass(nPlugin::classInfo);
    ks->AddClass(nTreeView::classInfo);
    ks->AddClass(nScriptEdit::classInfo);
    ks->AddClass(nRootEdit::classInfo);
    ks->AddClass(nMacroExec2::classInfo);
}
