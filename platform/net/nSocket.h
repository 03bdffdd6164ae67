#pragma once
#include <cstddef>
#include <cstdint>

// A TCP socket over the POSIX socket calls, IPv4 only. Owns its
// descriptor (-1 when closed) and closes it when destroyed.
//
// Sends never raise SIGPIPE; a peer that went away shows up as a failed send.
class nSocket {
public:
    // result of a non-blocking receive
    enum RecvResult {
        Received,    // bytes arrived
        WouldBlock,  // nothing there yet
        PeerClosed,  // orderly shutdown by the peer
        Failed,      // connection error (reset and the like)
    };

    nSocket() = default;
    explicit nSocket(int fd) : fd_(fd) {}
    ~nSocket();
    nSocket(const nSocket&) = delete;
    nSocket& operator=(const nSocket&) = delete;
    nSocket(nSocket&& other) noexcept;
    nSocket& operator=(nSocket&& other) noexcept;

    // create a TCP socket; false on failure (GetLastErrorText says why)
    bool Open();
    bool IsOpen() const { return fd_ >= 0; }
    int GetFd() const { return fd_; }

    bool SetReuseAddress(bool on);
    bool SetNonBlocking(bool on);
    // bind to 127.0.0.1 at the port
    bool BindLoopback(uint16_t port);
    bool Listen(int backlog);
    // blocking accept; a closed socket on failure
    nSocket Accept();
    // connect to 127.0.0.1 at the port
    bool ConnectLoopback(uint16_t port);
    // the local port after bind, 0 when unknown
    uint16_t GetLocalPort() const;

    // send every byte; waits up to timeoutMs in total while the socket is full
    bool SendAll(const void* data, size_t size, int timeoutMs = 2000);
    // one receive call of at most size bytes; received holds the count
    RecvResult Recv(void* buf, size_t size, size_t& received);
    // wait up to timeoutMs for data to read; true when readable
    bool WaitReadable(int timeoutMs) const;

    void Shutdown();
    void Close();

    // text of the last failing call's errno
    static const char* GetLastErrorText();

private:
    int fd_ = -1;
};
