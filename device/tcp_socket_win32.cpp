#include "device/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// Winsock is started once for the process and left running until it ends.
bool StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET Sock(TcpSocket::Native native) {
    return static_cast<SOCKET>(native);
}

// Waits until `s` is readable (or writable); false on time-out or error.
bool WaitFor(SOCKET s, bool write, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int result = ::select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &limit);
    return result > 0 && FD_ISSET(s, &set);
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

std::string SocketError(int code) {
    return "winsock error " + std::to_string(code);
}

void SetNonBlocking(SOCKET s) {
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}

void SetNoDelay(SOCKET s) {
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
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
    if (!StartWinsock()) {
        error = "winsock cannot start";
        return {};
    }
    sockaddr_in address{};
    if (!ResolveIpv4(host, port, address)) {
        error = "unknown host " + host;
        return {};
    }
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = SocketError(::WSAGetLastError());
        return {};
    }
    TcpSocket socket(static_cast<Native>(s));
    SetNonBlocking(s);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int code = ::WSAGetLastError();
        if (code == WSAEWOULDBLOCK) {
            code = WSAETIMEDOUT;
            if (WaitFor(s, true, timeoutMs)) {
                code = 0;
            } else {
                int size = sizeof code;
                ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size);
                if (code == 0) {
                    code = WSAETIMEDOUT;
                }
            }
        }
        if (code != 0) {
            error = SocketError(code);
            return {};
        }
    }
    SetNoDelay(s);
    return socket;
}

bool TcpSocket::SendAll(const void* data, std::size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const int chunk = length > 65536 ? 65536 : static_cast<int>(length);
        const int sent = ::send(Sock(m_native), bytes, chunk, 0);
        if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
            if (!WaitFor(Sock(m_native), true, 4000)) {
                return false;
            }
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
    char* bytes = static_cast<char*>(data);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (length > 0) {
        if (!WaitFor(Sock(m_native), false, RemainingMs(deadline))) {
            return false;
        }
        const int chunk = length > 65536 ? 65536 : static_cast<int>(length);
        const int got = ::recv(Sock(m_native), bytes, chunk, 0);
        if (got == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
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
    return Valid() && WaitFor(Sock(m_native), false, timeoutMs);
}

void TcpSocket::Close() {
    if (m_native != kInvalid) {
        ::closesocket(Sock(m_native));
        m_native = kInvalid;
    }
}

std::string TcpSocket::LocalAddress() const {
    sockaddr_in address{};
    int size = sizeof address;
    if (!Valid() ||
        ::getsockname(Sock(m_native), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET) {
        return {};
    }
    return DottedAddress(ntohl(address.sin_addr.s_addr));
}

bool TcpListener::Listen(const std::string& host, std::uint16_t port, std::string& error) {
    Close();
    if (!StartWinsock()) {
        error = "winsock cannot start";
        return false;
    }
    sockaddr_in address{};
    if (!ResolveIpv4(host, port, address)) {
        error = "unknown address " + host;
        return false;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = SocketError(::WSAGetLastError());
        return false;
    }
    int size = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, 64) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        error = SocketError(::WSAGetLastError());
        ::closesocket(s);
        return false;
    }
    m_native = static_cast<TcpSocket::Native>(s);
    m_port = ntohs(address.sin_port);
    return true;
}

std::optional<TcpSocket> TcpListener::Accept(int timeoutMs) {
    if (m_native == TcpSocket::kInvalid || !WaitFor(Sock(m_native), false, timeoutMs)) {
        return std::nullopt;
    }
    const SOCKET s = ::accept(Sock(m_native), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        return std::nullopt;
    }
    SetNonBlocking(s);
    SetNoDelay(s);
    return TcpSocket(static_cast<TcpSocket::Native>(s));
}

void TcpListener::Close() {
    if (m_native != TcpSocket::kInvalid) {
        ::closesocket(Sock(m_native));
        m_native = TcpSocket::kInvalid;
    }
}
