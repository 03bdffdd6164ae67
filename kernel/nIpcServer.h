#pragma once
#include "kernel/nString.h"
#include "platform/net/nSocket.h"
#include "platform/net/nThread.h"
#include "platform/net/nThreadSafeList.h"

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>

class nIpcMiniServer;

// A TCP server on the loopback interface for remote control. The port follows from
// the port name: 12000 + hash(name) mod 999, and the next free one when that is taken.
// A listener thread accepts clients; the main thread reads them (Poll), takes the
// queued messages (GetMsg) and answers (Send).
class nIpcServer {
public:
    static constexpr int BasePort = 12000;
    static constexpr int LastPort = 12999;

    explicit nIpcServer(const char* portName);
    ~nIpcServer();
    nIpcServer(const nIpcServer&) = delete;
    nIpcServer& operator=(const nIpcServer&) = delete;

    // False when no socket could be made at all; the constructor logged why.
    bool IsOpen() const { return listener_ != nullptr; }
    const char* GetPortName() const { return portName_.Get(); }
    uint16_t GetPort() const { return port_; }
    // The port a name starts its search at.
    static int FirstPort(const char* portName);

    // Reads every client once; true while messages wait in the queue.
    bool Poll();
    // The oldest queued message and its sender, or null with clientId -1.
    std::unique_ptr<nMsgNode> GetMsg(int& clientId);
    // Sends to one client; false (nothing sent) when no connected client has the id.
    bool Send(int clientId, const void* data, size_t size);
    // Sends to every connected client.
    void SendAll(const void* data, size_t size);
    // Whether a client with this id is still connected.
    bool HasClient(int clientId) const;
    int GetNumClients() const;

private:
    static void ListenerFunc(nThread* thread);
    static void WakeupFunc(nThread* thread);

    nString portName_;
    uint16_t port_ = 0;
    nSocket listenSocket_;
    nThreadSafeList msgQueue_;
    mutable std::mutex clientMutex_;
    std::list<std::unique_ptr<nIpcMiniServer>> clients_;
    int nextClientId_ = 0;
    std::unique_ptr<nThread> listener_;
};
