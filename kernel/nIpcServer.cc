#include "kernel/nIpcServer.h"

#include "kernel/nHashTable.h"
#include "kernel/nIpcMiniServer.h"
#include "kernel/nKernelServer.h"

int nIpcServer::FirstPort(const char* portName) {
    return BasePort + nHashTable::Hash(portName ? portName : "", 999);
}

nIpcServer::nIpcServer(const char* portName) : portName_(portName ? portName : "") {
    int port = FirstPort(portName_.Get());
    for (;;) {
        if (!listenSocket_.Open()) {
            n_error("nIpcServer: can't create a socket: %s\n", nSocket::GetLastErrorText());
            return;
        }
        listenSocket_.SetReuseAddress(true);
        // Listening right away: with the reuse option Linux would let a second,
        // not yet listening socket bind the same port.
        if (listenSocket_.BindLoopback(uint16_t(port)) && listenSocket_.Listen(5)) break;
        listenSocket_.Close();
        if (port >= LastPort) {
            nKernelServer::FatalError("nIpcServer::nIpcServer(): max number of servers started!");
            return;
        }
        port++;
    }
    port_ = uint16_t(port);
    listener_ = std::make_unique<nThread>(ListenerFunc, 0, WakeupFunc, this, &msgQueue_);
}

nIpcServer::~nIpcServer() {
    if (listener_) {
        listener_->Stop();
        listener_.reset();
    }
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        clients_.clear();  // each record shuts its connection down
    }
    listenSocket_.Close();
    msgQueue_.Clear();
}

void nIpcServer::ListenerFunc(nThread* thread) {
    auto* self = static_cast<nIpcServer*>(thread->GetUserData());
    thread->ThreadStarted();
    while (!thread->ThreadStopRequested()) {
        nSocket client = self->listenSocket_.Accept();
        if (thread->ThreadStopRequested()) {
            client.Shutdown();
            break;  // the socket closes with `client`
        }
        if (!client.IsOpen()) {
            // Out of descriptors or a similar passing failure: wait instead of spinning.
            nThread::Sleep(0.05f);
            continue;
        }
        client.SetNonBlocking(true);
        std::lock_guard<std::mutex> lock(self->clientMutex_);
        self->clients_.push_back(
            std::make_unique<nIpcMiniServer>(self, self->nextClientId_++, std::move(client)));
    }
    thread->ThreadHarakiri();
}

void nIpcServer::WakeupFunc(nThread* thread) {
    // Shutting the listening socket down makes a blocked accept return at once.
    static_cast<nIpcServer*>(thread->GetUserData())->listenSocket_.Shutdown();
}

bool nIpcServer::Poll() {
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            (*it)->Poll(msgQueue_);
            // Records of gone clients are dropped, so connections that come and go
            // do not pile up.
            if (!(*it)->IsConnected()) {
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
    }
    return !msgQueue_.IsEmpty();
}

std::unique_ptr<nMsgNode> nIpcServer::GetMsg(int& clientId) {
    std::unique_ptr<nMsgNode> msg = msgQueue_.GetMsg();
    clientId = msg ? msg->GetClientId() : -1;
    return msg;
}

bool nIpcServer::Send(int clientId, const void* data, size_t size) {
    std::lock_guard<std::mutex> lock(clientMutex_);
    for (auto& client : clients_) {
        if (client->GetClientId() == clientId && client->IsConnected()) {
            client->Send(data, size);
            return true;
        }
    }
    return false;
}

void nIpcServer::SendAll(const void* data, size_t size) {
    std::lock_guard<std::mutex> lock(clientMutex_);
    for (auto& client : clients_) client->Send(data, size);
}

bool nIpcServer::HasClient(int clientId) const {
    std::lock_guard<std::mutex> lock(clientMutex_);
    for (auto& client : clients_) {
        if (client->GetClientId() == clientId && client->IsConnected()) return true;
    }
    return false;
}

int nIpcServer::GetNumClients() const {
    std::lock_guard<std::mutex> lock(clientMutex_);
    return int(clients_.size());
}
