#include "anim/nEnvelopeServer.h"

#include <cstring>

#include "anim/nEnvelope.h"
#include "kernel/nKernelServer.h"
#include "kernel/nFileServer2.h"

const nClassInfo nEnvelopeServer::classInfo = nClassInfo::Make<nEnvelopeServer>("nenvelopeserver", "nroot");

nEnvelopeServer::nEnvelopeServer() {
    shareRoot_ = nKernelServer::ks->New("nroot", "/sys/share/envelopes");
}

nEnvelopeServer::~nEnvelopeServer() {
    if (nRoot* root = shareRoot_.GetUnsafe()) {
        shareRoot_.Invalidate();
        root->Release();
    }
}

std::string nEnvelopeServer::MakeEnvelopeName(const char* keyFile) {
    if (!keyFile) return std::string();
    size_t len = std::strlen(keyFile);
    std::string name(len > 511 ? keyFile + (len - 511) : keyFile);
    for (char& c : name)
        if (c == '.' || c == '/' || c == '\\' || c == ':') c = '_';
    return name;
}

nRoot* nEnvelopeServer::ShareRoot() {
    nRoot* root = shareRoot_.GetUnsafe();
    if (!root) nKernelServer::FatalError("Aborting.");
    return root;
}

nEnvelope* nEnvelopeServer::FindEnvelope(const char* keyFile) {
    nRoot* root = ShareRoot();
    std::string name = MakeEnvelopeName(nFileServer2::Share(keyFile).c_str());
    nRoot* obj = name.empty() ? nullptr : root->Find(name.c_str());
    if (!obj) return nullptr;
    if (!obj->IsA(nEnvelope::classInfo.name)) {
        n_error("nEnvelopeServer: '%s' under the envelopes is no envelope\n", name.c_str());
        return nullptr;
    }
    obj->AddRef();
    return static_cast<nEnvelope*>(obj);
}

nEnvelope* nEnvelopeServer::NewEnvelope(const char* keyFile) {
    nRoot* root = ShareRoot();
    std::string name = MakeEnvelopeName(nFileServer2::Share(keyFile).c_str());
    if (name.empty()) {
        n_error("nEnvelopeServer: no envelope can be named after '%s'\n", keyFile ? keyFile : "");
        return nullptr;
    }
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(root);
    nRoot* obj = ks->NewNoFail(nEnvelope::classInfo.name, name.c_str());
    ks->PopCwd();
    if (!obj || !obj->IsA(nEnvelope::classInfo.name)) {
        n_error("nEnvelopeServer: cannot make the envelope '%s'\n", name.c_str());
        return nullptr;
    }
    return static_cast<nEnvelope*>(obj);
}
