#pragma once
#include "platform/net/nSocket.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

// A loopback client for the remote-control tests. Replies come only while the
// server side is pumped (Poll or Trigger on the main thread), so Receive takes the
// pump to call between reads.
class IpcTestClient {
public:
    bool Connect(uint16_t port) { return sock_.Open() && sock_.ConnectLoopback(port); }
    void Disconnect() { sock_.Close(); }
    bool SendRaw(const std::string& bytes) { return sock_.SendAll(bytes.data(), bytes.size()); }
    // A text with its terminating NUL.
    bool SendLine(const std::string& text) { return SendRaw(text + std::string(1, '\0')); }

    // The next NUL-terminated reply; "<timeout>" when none arrives within 5 s.
    std::string Receive(const std::function<void()>& pump) {
        auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            size_t nul = pending_.find('\0');
            if (nul != std::string::npos) {
                std::string reply = pending_.substr(0, nul);
                pending_.erase(0, nul + 1);
                return reply;
            }
            if (std::chrono::steady_clock::now() > limit) return "<timeout>";
            pump();
            if (sock_.WaitReadable(5)) {
                char buf[4096];
                size_t got = 0;
                if (sock_.Recv(buf, sizeof(buf), got) == nSocket::Received) {
                    pending_.append(buf, got);
                } else {
                    return "<closed>";
                }
            }
        }
    }
    nSocket& Socket() { return sock_; }

private:
    nSocket sock_;
    std::string pending_;
};
