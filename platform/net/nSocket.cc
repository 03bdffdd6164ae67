#include "platform/net/nSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {
thread_local int lastErrno = 0;

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

bool Fail() {
    lastErrno = errno;
    return false;
}
}  // namespace

nSocket::~nSocket() {
    this->Close();
}

nSocket::nSocket(nSocket&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

nSocket& nSocket::operator=(nSocket&& other) noexcept {
    if (this != &other) {
        this->Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool nSocket::Open() {
    this->Close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd_ >= 0 ? true : Fail();
}

bool nSocket::SetReuseAddress(bool on) {
    int value = on ? 1 : 0;
    if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &value, sizeof(value)) != 0) {
        return Fail();
    }
    return true;
}

bool nSocket::SetNonBlocking(bool on) {
    int flags = ::fcntl(fd_, F_GETFL, 0);
    if (flags < 0) {
        return Fail();
    }
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (::fcntl(fd_, F_SETFL, flags) != 0) {
        return Fail();
    }
    return true;
}

bool nSocket::BindLoopback(uint16_t port) {
    sockaddr_in addr = LoopbackAddress(port);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        return Fail();
    }
    return true;
}

bool nSocket::Listen(int backlog) {
    if (::listen(fd_, backlog) != 0) {
        return Fail();
    }
    return true;
}

nSocket nSocket::Accept() {
    int client;
    do {
        client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    } while (client < 0 && errno == EINTR);
    if (client < 0) {
        Fail();
    }
    return nSocket(client);
}

bool nSocket::ConnectLoopback(uint16_t port) {
    sockaddr_in addr = LoopbackAddress(port);
    int rc;
    do {
        rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? true : Fail();
}

uint16_t nSocket::GetLocalPort() const {
    sockaddr_in addr;
    socklen_t len = sizeof(addr);
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return 0;
    }
    return ntohs(addr.sin_port);
}

bool nSocket::SendAll(const void* data, size_t size, int timeoutMs) {
    if (fd_ < 0) {
        return false;
    }
    const char* p = static_cast<const char*>(data);
    int waited = 0;
    while (size > 0) {
        ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waited < timeoutMs) {
            // a non-blocking socket whose send buffer is full: wait a little
            pollfd pfd{fd_, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
            waited += 10;
            continue;
        }
        return Fail();
    }
    return true;
}

nSocket::RecvResult nSocket::Recv(void* buf, size_t size, size_t& received) {
    received = 0;
    if (fd_ < 0) {
        return Failed;
    }
    ssize_t n;
    do {
        n = ::recv(fd_, buf, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        received = static_cast<size_t>(n);
        return Received;
    }
    if (n == 0) {
        return PeerClosed;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        return WouldBlock;
    }
    Fail();
    return Failed;
}

bool nSocket::WaitReadable(int timeoutMs) const {
    if (fd_ < 0) {
        return false;
    }
    pollfd pfd{fd_, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&pfd, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

void nSocket::Shutdown() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

void nSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

const char* nSocket::GetLastErrorText() {
    return std::strerror(lastErrno);
}
