// The socket headers come before tcp_socket_common.h, which uses them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "device/tcp_socket.h"
#include "device/tcp_socket_common.h"

namespace {

int Fd(TcpSocket::Native native) {
    return static_cast<int>(native);
}

// Waits until `fd` is ready for `events` or `deadline` passes; with a stop flag, in
// slices short enough to notice it soon.
Wait WaitUntil(int fd, short events, Clock::time_point deadline,
               const std::atomic<bool>* stop = nullptr) {
    for (;;) {
        if (stop != nullptr && stop->load()) {
            return Wait::Stopped;
        }
        const int slice = WaitSlice(deadline, stop);
        pollfd entry{fd, events, 0};
        const int result = ::poll(&entry, 1, slice);
        if (result > 0) {
            return Wait::Ready;
        }
        if (result < 0 && errno != EINTR) {
            return Wait::Failed;
        }
        if (result == 0 && RemainingMs(deadline) == 0) {
            return Wait::TimedOut;
        }
    }
}

bool WaitFor(int fd, short events, int timeoutMs) {
    return WaitUntil(fd, events, Clock::now() + std::chrono::milliseconds(timeoutMs)) ==
           Wait::Ready;
}

// Connects to one address by `deadline`: 0, or the errno that says why not (EINTR when
// stopped).
int ConnectOne(const addrinfo& address, Clock::time_point deadline, const std::atomic<bool>* stop,
               TcpSocket& connected) {
    const int fd = ::socket(address.ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            address.ai_protocol);
    if (fd < 0) {
        return errno;
    }
    TcpSocket socket(fd);
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        int code = errno;
        if (code == EINPROGRESS) {
            switch (WaitUntil(fd, POLLOUT, deadline, stop)) {
            case Wait::Ready: {
                socklen_t size = sizeof code;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size);
                break;
            }
            case Wait::Stopped:
                code = EINTR;
                break;
            case Wait::TimedOut:
            case Wait::Failed:
                code = ETIMEDOUT;
                break;
            }
        }
        if (code != 0) {
            return code;
        }
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connected = std::move(socket);
    return 0;
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
                             std::string& error, const std::atomic<bool>* stop) {
    const AddressList addresses(host, port, false);
    if (addresses.First() == nullptr) {
        error = "unknown host " + host;
        return {};
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int code = 0;
    // A name may stand for several addresses (::1 and 127.0.0.1): the first that answers.
    for (const addrinfo* entry = addresses.First(); entry != nullptr; entry = entry->ai_next) {
        TcpSocket socket;
        code = ConnectOne(*entry, deadline, stop, socket);
        if (code == 0) {
            return socket;
        }
        if (code == EINTR || code == ETIMEDOUT) {
            break;
        }
    }
    error = code == EINTR ? "interrupted" : std::strerror(code);
    return {};
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

TcpSocket::Received TcpSocket::Receive(void* data, std::size_t length, int timeoutMs,
                                       const std::atomic<bool>* stop) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (length > 0) {
        const Wait wait = WaitUntil(Fd(m_native), POLLIN, deadline, stop);
        if (wait != Wait::Ready) {
            return ReceiveEnd(wait);
        }
        const ssize_t got = ::recv(Fd(m_native), bytes, length, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (got == 0 || (got < 0 && errno == ECONNRESET)) {
            return Received::Closed;
        }
        if (got < 0) {
            return Received::Failed;
        }
        bytes += got;
        length -= static_cast<std::size_t>(got);
    }
    return Received::All;
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
    const AddressList addresses(host, port, true);
    const addrinfo* address = addresses.Preferred();
    if (address == nullptr) {
        error = "unknown address " + host;
        return false;
    }
    const int fd = ::socket(address->ai_family, SOCK_STREAM | SOCK_CLOEXEC, address->ai_protocol);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    if (::bind(fd, address->ai_addr, address->ai_addrlen) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_native = fd;
    m_port = PortOf(bound);
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
