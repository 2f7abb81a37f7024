// The socket headers come before tcp_socket_common.h, which uses them.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mstcpip.h>

#include <chrono>

#include "device/system_error_text_win32.h"
#include "device/tcp_socket.h"
#include "device/tcp_socket_common.h"

namespace {

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

// Waits until `s` is readable (or writable) or `deadline` passes; with a stop flag, in
// slices short enough to notice it soon.
Wait WaitUntil(SOCKET s, bool write, Clock::time_point deadline,
               const std::atomic<bool>* stop = nullptr) {
    for (;;) {
        if (stop != nullptr && stop->load()) {
            return Wait::Stopped;
        }
        const int slice = WaitSlice(deadline, stop);
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        fd_set failed;
        FD_ZERO(&failed);
        FD_SET(s, &failed);
        timeval limit{slice / 1000, (slice % 1000) * 1000};
        const int result =
            ::select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &limit);
        if (result > 0) {
            // A failed connect shows in the exception set; the caller reads SO_ERROR.
            return FD_ISSET(s, &set) ? Wait::Ready : Wait::Failed;
        }
        if (result < 0) {
            return Wait::Failed;
        }
        if (RemainingMs(deadline) == 0) {
            return Wait::TimedOut;
        }
    }
}

bool WaitFor(SOCKET s, bool write, int timeoutMs) {
    return WaitUntil(s, write, Clock::now() + std::chrono::milliseconds(timeoutMs)) == Wait::Ready;
}

void SetNonBlocking(SOCKET s) {
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}

void SetNoDelay(SOCKET s) {
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

// Connects to one address by `deadline`: 0, or the winsock error that says why not
// (WSAEINTR when stopped).
int ConnectOne(const addrinfo& address, Clock::time_point deadline, const std::atomic<bool>* stop,
               TcpSocket& connected) {
    const SOCKET s = ::socket(address.ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return ::WSAGetLastError();
    }
    TcpSocket socket(static_cast<TcpSocket::Native>(s));
    SetNonBlocking(s);
    if (::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        int code = ::WSAGetLastError();
        if (code == WSAEWOULDBLOCK) {
            switch (WaitUntil(s, true, deadline, stop)) {
            case Wait::Ready:
                code = 0;
                break;
            case Wait::Stopped:
                code = WSAEINTR;
                break;
            case Wait::TimedOut:
                code = WSAETIMEDOUT;
                break;
            case Wait::Failed: {
                int size = sizeof code;
                ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size);
                if (code == 0) {
                    code = WSAETIMEDOUT;
                }
                break;
            }
            }
        }
        if (code != 0) {
            return code;
        }
    }
    SetNoDelay(s);
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
    if (!StartWinsock()) {
        error = "winsock cannot start";
        return {};
    }
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
        if (code == WSAEINTR || code == WSAETIMEDOUT) {
            break;
        }
    }
    error = code == WSAEINTR ? "interrupted" : SystemErrorText(static_cast<unsigned long>(code));
    return {};
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

TcpSocket::Received TcpSocket::Receive(void* data, std::size_t length, int timeoutMs,
                                       const std::atomic<bool>* stop) {
    char* bytes = static_cast<char*>(data);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (length > 0) {
        const Wait wait = WaitUntil(Sock(m_native), false, deadline, stop);
        if (wait != Wait::Ready) {
            return ReceiveEnd(wait);
        }
        const int chunk = length > 65536 ? 65536 : static_cast<int>(length);
        const int got = ::recv(Sock(m_native), bytes, chunk, 0);
        const int code = got == SOCKET_ERROR ? ::WSAGetLastError() : 0;
        if (code == WSAEWOULDBLOCK) {
            continue;
        }
        if (got == 0 || code == WSAECONNRESET || code == WSAECONNABORTED) {
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
    return Valid() && WaitFor(Sock(m_native), false, timeoutMs);
}

void TcpSocket::Close() {
    if (m_native != kInvalid) {
        ::closesocket(Sock(m_native));
        m_native = kInvalid;
    }
}

void TcpSocket::Shutdown() {
    if (m_native != kInvalid) {
        ::shutdown(Sock(m_native), SD_BOTH);
    }
}

std::string TcpSocket::LocalAddress() const {
    sockaddr_storage address{};
    int size = sizeof address;
    char text[NI_MAXHOST] = {};
    if (!Valid() ||
        ::getsockname(Sock(m_native), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        ::getnameinfo(reinterpret_cast<sockaddr*>(&address), size, text, sizeof text, nullptr, 0,
                      NI_NUMERICHOST) != 0) {
        return {};
    }
    return text;
}

bool TcpListener::Listen(const std::string& host, std::uint16_t port, std::string& error) {
    Close();
    if (!StartWinsock()) {
        error = "winsock cannot start";
        return false;
    }
    const AddressList addresses(host, port, true);
    const addrinfo* address = addresses.Preferred();
    if (address == nullptr) {
        error = "unknown address " + host;
        return false;
    }
    const SOCKET s = ::socket(address->ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = SystemErrorText(static_cast<unsigned long>(::WSAGetLastError()));
        return false;
    }
    sockaddr_storage bound{};
    int size = sizeof bound;
    if (::bind(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0 ||
        ::listen(s, 64) != 0 || ::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        error = SystemErrorText(static_cast<unsigned long>(::WSAGetLastError()));
        ::closesocket(s);
        return false;
    }
    m_native = static_cast<TcpSocket::Native>(s);
    m_port = PortOf(bound);
    return true;
}

std::optional<TcpSocket> TcpListener::Accept(int timeoutMs) {
    m_acceptError.clear();
    if (m_native == TcpSocket::kInvalid || !WaitFor(Sock(m_native), false, timeoutMs)) {
        return std::nullopt;
    }
    const SOCKET s = ::accept(Sock(m_native), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        const int code = ::WSAGetLastError();
        if (code != WSAECONNRESET && code != WSAEWOULDBLOCK && code != WSAEINTR) {
            m_acceptError = SystemErrorText(static_cast<unsigned long>(code));
        }
        return std::nullopt;
    }
    SetNonBlocking(s);
    SetNoDelay(s);
    // As on Linux, a vanished peer is found within about two minutes of silence: the first
    // probe after a minute, then one every 6 s (the system sends ten), not after two hours.
    tcp_keepalive keepAlive{};
    keepAlive.onoff = 1;
    keepAlive.keepalivetime = 60'000;
    keepAlive.keepaliveinterval = 6'000;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned,
               nullptr, nullptr);
    return TcpSocket(static_cast<TcpSocket::Native>(s));
}

void TcpListener::Close() {
    if (m_native != TcpSocket::kInvalid) {
        ::closesocket(Sock(m_native));
        m_native = TcpSocket::kInvalid;
    }
}
