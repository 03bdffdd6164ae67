#pragma once
#include "platform/net/nSocket.h"

#include <cstddef>
#include <string>

class nIpcServer;
class nThreadSafeList;

// The server side of one accepted connection. The main thread reads it once per poll:
// control lines (a leading '~') are answered at once, every other NUL-ended line is
// queued for the remote server as one message once the connection has sent the
// server's handshake (before it, lines are answered "### no handshake!" and dropped). A
// connection that opens with an HTTP request line (a web page's request to a local
// port) is closed.
class nIpcMiniServer {
public:
    static constexpr size_t RecvBufSize = 4096;
    // The longest line taken, without its NUL; a longer one is refused whole.
    static constexpr size_t MaxLineLength = 64 * 1024;

    nIpcMiniServer(nIpcServer* server, int clientId, nSocket socket);
    ~nIpcMiniServer();
    nIpcMiniServer(const nIpcMiniServer&) = delete;
    nIpcMiniServer& operator=(const nIpcMiniServer&) = delete;

    int GetClientId() const { return clientId_; }
    bool IsConnected() const { return socket_.IsOpen(); }

    // One receive: queues each line it completes as one message (an empty message for
    // a line past MaxLineLength), answers control lines (a leading '~'), or closes the
    // connection when the peer has gone.
    void Poll(nThreadSafeList& queue);
    // Sends the bytes as they are; false when the connection is closed or broken.
    bool Send(const void* data, size_t size);
    // Shuts the connection down and closes it.
    void Close();

private:
    void Take(const char* data, size_t size, nThreadSafeList& queue);
    void HandleControl(const char* data, size_t size);
    void Answer(const char* text);
    // Whether the first bytes are an HTTP request line; the connection is closed if so.
    // False also while too few bytes have come to tell.
    bool OpensWithHttp(const char* data, size_t size);

    nIpcServer* server_;
    int clientId_;
    nSocket socket_;
    char recvBuf_[RecvBufSize];
    // The line received so far, and whether the rest of an overlong line is skipped.
    std::string pending_;
    bool dropping_ = false;
    bool greeted_ = false;
    // The connection's first bytes until they tell whether it speaks HTTP.
    std::string start_;
    bool startChecked_ = false;
};
