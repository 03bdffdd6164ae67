#include "kernel/nIpcMiniServer.h"

#include "kernel/nIpcServer.h"
#include "kernel/nKernelServer.h"
#include "platform/net/nThreadSafeList.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

nIpcMiniServer::nIpcMiniServer(nIpcServer* server, int clientId, nSocket socket)
    : server_(server), clientId_(clientId), socket_(std::move(socket)) {}

nIpcMiniServer::~nIpcMiniServer() { Close(); }

void nIpcMiniServer::Poll(nThreadSafeList& queue) {
    if (!socket_.IsOpen()) return;
    size_t received = 0;
    switch (socket_.Recv(recvBuf_, sizeof(recvBuf_), received)) {
        case nSocket::Received:
            Take(recvBuf_, received, queue);
            break;
        case nSocket::WouldBlock:
            break;
        case nSocket::PeerClosed:
        case nSocket::Failed:
            // A reset connection stays broken on POSIX; reading it again would fail
            // on every frame, so it is closed like an orderly end.
            Close();
            break;
    }
}

// TCP keeps no message borders: a line may come in parts, or several in one receive.
// Only whole NUL-ended lines are handed on, each as one message; a line that grows past
// MaxLineLength is answered as an error once (an empty message) and dropped whole, so
// no tail of it ever runs as a line of its own.
void nIpcMiniServer::Take(const char* data, size_t size, nThreadSafeList& queue) {
    if (OpensWithHttp(data, size)) {
        n_printf("nIpcMiniServer: client %d opened with an HTTP request; connection closed\n", clientId_);
        Close();
        return;
    }
    while (size > 0) {
        const char* nul = static_cast<const char*>(memchr(data, 0, size));
        size_t part = nul ? size_t(nul - data) : size;
        if (dropping_) {
            dropping_ = nul == nullptr;
        } else if (pending_.size() + part > MaxLineLength) {
            queue.PutMsg(std::make_unique<nMsgNode>(clientId_, nullptr, 0));
            pending_.clear();
            dropping_ = nul == nullptr;
        } else {
            pending_.append(data, part);
            if (nul) {
                pending_.push_back('\0');
                if (pending_[0] == '~') {
                    HandleControl(pending_.data(), pending_.size());
                } else if (!greeted_) {
                    Answer("### no handshake!");
                } else {
                    queue.PutMsg(std::make_unique<nMsgNode>(clientId_, pending_.data(), pending_.size()));
                }
                pending_.clear();
            }
        }
        size_t used = nul ? part + 1 : part;
        data += used;
        size -= used;
    }
}

void nIpcMiniServer::HandleControl(const char* data, size_t size) {
    // The text up to the first NUL (or all of it), split at blanks, tabs and tildes.
    std::string text(data, strnlen(data, size));
    const char* seps = " \t~";
    std::string words[2];
    int count = 0;
    size_t pos = text.find_first_not_of(seps);
    while (pos != std::string::npos && count < 2) {
        size_t end = text.find_first_of(seps, pos);
        words[count++] = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? end : text.find_first_not_of(seps, end);
    }
    if (count == 0) return;
    if (words[0] == "handshake") {
        // A handshake without a name cannot match: it is refused, the connection stays.
        bool match = count == 2 && words[1] == server_->GetPortName();
        if (match) greeted_ = true;
        Answer(match ? "~true" : "~false");
    } else if (words[0] == "close") {
        Answer("~ok");
    }
}

bool nIpcMiniServer::OpensWithHttp(const char* data, size_t size) {
    if (startChecked_) return false;
    static const char* const methods[] = {"GET ",    "POST ",    "PUT ",     "HEAD ", "DELETE ",
                                          "OPTIONS ", "PATCH ", "CONNECT ", "TRACE "};
    constexpr size_t longest = 8;
    start_.append(data, std::min(size, longest - start_.size()));
    bool maybe = false;
    for (const char* m : methods) {
        const size_t len = strlen(m);
        if (start_.size() >= len && start_.compare(0, len, m) == 0) return true;
        if (start_.size() < len && std::string(m, start_.size()) == start_) maybe = true;
    }
    startChecked_ = !maybe;
    return false;
}

void nIpcMiniServer::Answer(const char* text) { Send(text, strlen(text) + 1); }

bool nIpcMiniServer::Send(const void* data, size_t size) {
    if (!socket_.IsOpen()) return false;
    if (!socket_.SendAll(data, size)) {
        Close();
        return false;
    }
    return true;
}

void nIpcMiniServer::Close() {
    if (socket_.IsOpen()) {
        socket_.Shutdown();
        socket_.Close();
    }
}
