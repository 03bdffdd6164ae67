#include "script/nLuaScriptlet.h"

#include <string>

#include "kernel/nKernelServer.h"

const nClassInfo nLuaScriptlet::classInfo = nClassInfo::Make<nLuaScriptlet>("nluascriptlet", "nscriptlet");

nLuaScriptlet::nLuaScriptlet() : refFileServer_("/sys/servers/file2") {}

bool nLuaScriptlet::ParseFile(const char* fileName) {
    if (!fileName || !*fileName) {
        n_error("nLuaScriptlet::ParseFile(): no file name given\n");
        return false;
    }
    // A file that cannot be read whole leaves the old text.
    std::string text;
    if (!refFileServer_.Get()->ReadFile(fileName, text)) {
        n_printf("nLuaScriptlet::ParseFile(): can't read '%s'\n", fileName);
        return false;
    }
    SetScriptText(text.data(), text.size());
    return true;
}
