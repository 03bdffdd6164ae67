#include "script/nLuaScriptlet.h"

#include <string>

#include "kernel/nFile.h"
#include "kernel/nKernelServer.h"

const nClassInfo nLuaScriptlet::classInfo = nClassInfo::Make<nLuaScriptlet>("nluascriptlet", "nscriptlet");

nLuaScriptlet::nLuaScriptlet() : refFileServer_("/sys/servers/file2") {}

bool nLuaScriptlet::ParseFile(const char* fileName) {
    if (!fileName || !*fileName) {
        n_error("nLuaScriptlet::ParseFile(): no file name given\n");
        return false;
    }
    nFile* file = refFileServer_.Get()->NewFileObject();
    if (!file->Open(fileName, "rb")) {
        n_printf("nLuaScriptlet::ParseFile(): can't open '%s'\n", fileName);
        delete file;
        return false;
    }
    file->Seek(0, nFile::END);
    size_t size = file->Tell();
    file->Seek(0, nFile::START);
    std::string text(size, '\0');
    size_t got = size ? file->Read(text.data(), size) : 0;
    file->Close();
    delete file;
    if (got != size) {
        // A short read would leave half a script; the old text stays.
        n_error("nLuaScriptlet::ParseFile(): read %zu of %zu bytes of '%s'\n", got, size, fileName);
        return false;
    }
    SetScriptText(text.data(), text.size());
    return true;
}
