#include "anim/nAnimServer.h"

#include <cstring>

#include "anim/nAnimCurveArray.h"
#include "kernel/nKernelServer.h"
#include "kernel/nFileServer2.h"

const nClassInfo nAnimServer::classInfo = nClassInfo::Make<nAnimServer>("nanimserver", "nroot");

nAnimServer::nAnimServer() {
    shareDir_ = nKernelServer::ks->New("nroot", "/sys/share/animcurves");
}

nAnimServer::~nAnimServer() {
    if (nRoot* dir = shareDir_.GetUnsafe()) {
        shareDir_.Invalidate();
        dir->Release();
    }
}

std::string nAnimServer::MakeArrayName(const char* fileName) {
    if (!fileName) return std::string();
    size_t len = std::strlen(fileName);
    std::string name(len > 511 ? fileName + (len - 511) : fileName);
    for (char& c : name)
        if (c == '.' || c == '/' || c == '\\' || c == ':') c = '_';
    return name;
}

nRoot* nAnimServer::ShareDir() {
    nRoot* dir = shareDir_.GetUnsafe();
    if (!dir) nKernelServer::FatalError("Aborting.");
    return dir;
}

nAnimCurveArray* nAnimServer::FindAnimCurveArray(const char* fileName) {
    nRoot* dir = ShareDir();
    std::string name = MakeArrayName(nFileServer2::Share(fileName).c_str());
    nRoot* obj = nullptr;
    if (name == ".") obj = dir;
    else if (name == "..") obj = dir->GetParent();
    else if (!name.empty()) obj = dir->Find(name.c_str());
    if (!obj) return nullptr;
    if (!obj->IsA(nAnimCurveArray::classInfo.name)) {
        n_error("nAnimServer: '%s' under the curve arrays is no curve array\n", name.c_str());
        return nullptr;
    }
    obj->AddRef();
    return static_cast<nAnimCurveArray*>(obj);
}

nAnimCurveArray* nAnimServer::NewAnimCurveArray(const char* fileName) {
    nRoot* dir = ShareDir();
    std::string name = MakeArrayName(nFileServer2::Share(fileName).c_str());
    if (name.empty() || name == "." || name == "..") {
        n_error("nAnimServer: no curve array can be named after '%s'\n", fileName ? fileName : "");
        return nullptr;
    }
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(dir);
    nRoot* obj = ks->NewNoFail(nAnimCurveArray::classInfo.name, name.c_str());
    ks->PopCwd();
    if (!obj || !obj->IsA(nAnimCurveArray::classInfo.name)) {
        n_error("nAnimServer: cannot make the curve array '%s'\n", name.c_str());
        return nullptr;
    }
    return static_cast<nAnimCurveArray*>(obj);
}
