#pragma once
#include "platform/net/nSocket.h"

#include <cstddef>

class nIpcServer;
class nThreadSafeList;

// The server side of one accepted connection. The main thread reads it once per poll:
// control messages (a leading '~') are answered at once, everything else is queued
// for the remote server as it arrived.
class nIpcMiniServer {
public:
    static constexpr size_t RecvBufSize = 4096;

    nIpcMiniServer(nIpcServer* server, int clientId, nSocket socket);
    ~nIpcMiniServer();
    nIpcMiniServer(const nIpcMiniServer&) = delete;
    nIpcMiniServer& operator=(const nIpcMiniServer&) = delete;

    int GetClientId() const { return clientId_; }
    bool IsConnected() const { return socket_.IsOpen(); }

    // One receive: queues a message, answers a control message, or closes the
    // connection when the peer has gone.
    void Poll(nThreadSafeList& queue);
    // Sends the bytes as they are; false when the connection is closed or broken.
    bool Send(const void* data, size_t size);
    // Shuts the connection down and closes it.
    void Close();

private:
    void HandleControl(const char* data, size_t size);
    void Answer(const char* text);

    nIpcServer* server_;
    int clientId_;
    nSocket socket_;
    char recvBuf_[RecvBufSize];
};
