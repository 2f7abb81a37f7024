// What both socket implementations share: name resolution (every family, IPv4 and IPv6;
// winsock offers the same calls once it is started) and the arithmetic of waits that a
// stop flag may cut short. It uses the calls and types of the platform's socket headers,
// so tcp_socket_linux.cpp and tcp_socket_win32.cpp include those first.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "device/tcp_socket.h"

// The addresses of host:port, freed with the object.
class AddressList {
  public:
    AddressList(const std::string& host, std::uint16_t port, bool passive) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
        if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &m_list) != 0) {
            m_list = nullptr;
        }
    }
    ~AddressList() {
        if (m_list != nullptr) {
            ::freeaddrinfo(m_list);
        }
    }
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;

    // The first address, null when the host is unknown; the rest follow by ai_next.
    const addrinfo* First() const { return m_list; }
    // The first IPv4 address, else the first one: a name keeps listening where it did
    // before IPv6 was known.
    const addrinfo* Preferred() const {
        for (const addrinfo* entry = m_list; entry != nullptr; entry = entry->ai_next) {
            if (entry->ai_family == AF_INET) {
                return entry;
            }
        }
        return m_list;
    }

  private:
    addrinfo* m_list = nullptr;
};

// The port of a bound IPv4 or IPv6 address.
inline std::uint16_t PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

using Clock = std::chrono::steady_clock;

// How one wait for a socket ended.
enum class Wait { Ready, TimedOut, Stopped, Failed };

inline int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The next stretch of a wait until `deadline`: all that is left, or with a stop flag no
// more than TcpSocket::kStopCheckMs, so that the flag is seen soon.
inline int WaitSlice(Clock::time_point deadline, const std::atomic<bool>* stop) {
    const int left = RemainingMs(deadline);
    return stop != nullptr ? std::min(left, TcpSocket::kStopCheckMs) : left;
}

// A receive's end for a wait that did not end Ready.
inline TcpSocket::Received ReceiveEnd(Wait wait) {
    switch (wait) {
    case Wait::TimedOut:
        return TcpSocket::Received::TimedOut;
    case Wait::Stopped:
        return TcpSocket::Received::Stopped;
    case Wait::Ready:
    case Wait::Failed:
        break;
    }
    return TcpSocket::Received::Failed;
}
