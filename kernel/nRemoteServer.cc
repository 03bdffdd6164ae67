#include "kernel/nRemoteServer.h"

#include <cstring>

#include "kernel/nIpcServer.h"
#include "kernel/nKernelServer.h"

const nClassInfo nRemoteServer::classInfo = nClassInfo::Make<nRemoteServer>("nremoteserver", "nroot");

nRemoteServer::nRemoteServer() : refScriptServer_("/sys/servers/script") {}

nRemoteServer::~nRemoteServer() {
    if (isOpen_) Close();
}

bool nRemoteServer::Open(const char* portName) {
    if (!nScriptServer::PersonOnly("opening a socket")) return false;
    if (isOpen_) Close();
    if (!portName || !*portName) {
        n_error("nRemoteServer::Open(): a port name is needed\n");
        return false;
    }
    auto server = std::make_unique<nIpcServer>(portName);
    if (!server->IsOpen()) return false;
    n_printf("nRemoteServer: listening on 127.0.0.1:%d as '%s'\n", int(server->GetPort()), portName);
    ipcServer_ = std::move(server);
    isOpen_ = true;
    return true;
}

void nRemoteServer::Close() {
    clients_.clear();
    ipcServer_.reset();
    isOpen_ = false;
}

void nRemoteServer::Broadcast(const char* text) {
    if (!isOpen_ || !text) return;
    ipcServer_->SendAll(text, strlen(text) + 1);
}

nRemoteServer::ClientContext& nRemoteServer::FindOrCreateContext(int clientId) {
    for (ClientContext& c : clients_) {
        if (c.clientId == clientId) return c;
    }
    clients_.push_back(ClientContext{clientId, nRef<nRoot>(nKernelServer::ks->GetCwd())});
    return clients_.back();
}

void nRemoteServer::Reply(int clientId, const char* text) {
    ipcServer_->Send(clientId, text, strlen(text) + 1);
}

bool nRemoteServer::HandleMsg(int clientId, const char* data, size_t size, const nRef<nRoot>& alive) {
    if (size == 0 || data[size - 1] != '\0') {
        Reply(clientId, "### comm error!");
        return true;
    }
    nScriptServer* script = refScriptServer_.Get();
    nKernelServer* ks = nKernelServer::ks;
    ClientContext& ctx = FindOrCreateContext(clientId);
    // Lines that arrived together in one receive are each run and answered; the
    // text after the first NUL would otherwise be lost.
    size_t start = 0;
    while (start < size) {
        const char* line = data + start;
        size_t len = strlen(line);
        ks->PushCwd(ctx.cwd.GetUnsafe());
        const char* result = nullptr;
        script->RunLine(line, result);
        if (!alive.IsValid()) {
            ks->PopCwd();
            return false;
        }
        ctx.cwd.Set(ks->GetCwd());
        ks->PopCwd();
        Reply(clientId, result ? result : "");
        start += len + 1;
    }
    return true;
}

bool nRemoteServer::Trigger() {
    if (!isOpen_) return false;
    // A line may delete this server ("delete('/sys/servers/remote')"): the extra
    // count keeps it until the lines of this frame are done. Deleting an object
    // above it destroys it all the same, which the reference tells.
    nRef<nRoot> alive(this);
    AddRef();
    int handled = 0;
    while (handled < MaxMsgsPerTrigger && isOpen_ && ipcServer_->Poll()) {
        int clientId = -1;
        std::unique_ptr<nMsgNode> msg = ipcServer_->GetMsg(clientId);
        if (!msg) break;
        if (!HandleMsg(clientId, msg->GetData(), msg->GetSize(), alive)) return false;
        handled++;
    }
    // Contexts of clients that have gone would otherwise pile up.
    for (auto it = clients_.begin(); isOpen_ && it != clients_.end();) {
        if (!ipcServer_->HasClient(it->clientId)) {
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
    Release();
    return false;
}
