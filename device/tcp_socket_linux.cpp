#include "device/tcp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int Fd(TcpSocket::Native native) {
    return static_cast<int>(native);
}

// Waits until `fd` is ready for `events`; false on time-out or error.
bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd entry{fd, events, 0};
    int result;
    do {
        result = ::poll(&entry, 1, timeoutMs);
    } while (result < 0 && errno == EINTR);
    return result > 0;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool ResolveIpv4(const std::string& host, std::uint16_t port, sockaddr_in& address) {
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) {
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

} // namespace

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        m_native = other.Release();
    }
    return *this;
}

TcpSocket TcpSocket::Connect(const std::string& host, std::uint16_t port, int timeoutMs,
                             std::string& error) {
    sockaddr_in address{};
    if (!ResolveIpv4(host, port, address)) {
        error = "unknown host " + host;
        return {};
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return {};
    }
    TcpSocket socket(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int code = errno;
        if (code == EINPROGRESS) {
            code = ETIMEDOUT;
            if (WaitFor(fd, POLLOUT, timeoutMs)) {
                socklen_t size = sizeof code;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size);
            }
        }
        if (code != 0) {
            error = std::strerror(code);
            return {};
        }
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return socket;
}

bool TcpSocket::SendAll(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        const ssize_t sent = ::send(Fd(m_native), bytes, length, MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(Fd(m_native), POLLOUT, 4000)) {
                return false;
            }
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool TcpSocket::ReceiveAll(void* data, std::size_t length, int timeoutMs) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (length > 0) {
        if (!WaitFor(Fd(m_native), POLLIN, RemainingMs(deadline))) {
            return false;
        }
        const ssize_t got = ::recv(Fd(m_native), bytes, length, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

bool TcpSocket::WaitReadable(int timeoutMs) {
    return Valid() && WaitFor(Fd(m_native), POLLIN, timeoutMs);
}

void TcpSocket::Close() {
    if (m_native != kInvalid) {
        ::close(Fd(m_native));
        m_native = kInvalid;
    }
}

std::string TcpSocket::LocalAddress() const {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (!Valid() ||
        ::getsockname(Fd(m_native), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET) {
        return {};
    }
    return DottedAddress(ntohl(address.sin_addr.s_addr));
}

bool TcpListener::Listen(const std::string& host, std::uint16_t port, std::string& error) {
    Close();
    sockaddr_in address{};
    if (!ResolveIpv4(host, port, address)) {
        error = "unknown address " + host;
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_native = fd;
    m_port = ntohs(address.sin_port);
    return true;
}

std::optional<TcpSocket> TcpListener::Accept(int timeoutMs) {
    if (m_native == TcpSocket::kInvalid || !WaitFor(Fd(m_native), POLLIN, timeoutMs)) {
        return std::nullopt;
    }
    const int fd = ::accept4(Fd(m_native), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return TcpSocket(fd);
}

void TcpListener::Close() {
    if (m_native != TcpSocket::kInvalid) {
        ::close(Fd(m_native));
        m_native = TcpSocket::kInvalid;
    }
}
