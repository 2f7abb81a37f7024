// A minimal blocking TCP socket with deadlines, for the virtual-drive client and server.
// One implementation per platform: tcp_socket_linux.cpp (BSD sockets) and
// tcp_socket_win32.cpp (winsock).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// "a.b.c.d" for an IPv4 address in host byte order.
inline std::string DottedAddress(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

class TcpSocket {
  public:
    using Native = std::intptr_t;

    TcpSocket() = default;
    explicit TcpSocket(Native native) : m_native(native) {}
    TcpSocket(TcpSocket&& other) noexcept : m_native(other.Release()) {}
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;
    ~TcpSocket() { Close(); }

    // How a receive ended.
    enum class Received {
        All,      // every byte asked for
        TimedOut, // the deadline passed first
        Closed,   // the peer closed (or reset) the connection
        Stopped,  // the stop flag was raised
        Failed,   // any other error
    };

    // Connects to host:port (a numeric IPv4 or IPv6 address, or a name: each of its
    // addresses in turn) within `timeoutMs`. A raised `stop` ends the wait early. On
    // failure the socket stays invalid and `error` says why.
    static TcpSocket Connect(const std::string& host, std::uint16_t port, int timeoutMs,
                             std::string& error, const std::atomic<bool>* stop = nullptr);

    bool Valid() const { return m_native != kInvalid; }
    // Sends all `length` bytes; false when the peer is gone.
    bool SendAll(const void* data, std::size_t length);
    // Receives exactly `length` bytes, waiting at most `timeoutMs` in all. False on
    // time-out, error or an orderly close before the last byte.
    bool ReceiveAll(void* data, std::size_t length, int timeoutMs) {
        return Receive(data, length, timeoutMs) == Received::All;
    }
    // As ReceiveAll, saying how it ended; a raised `stop` ends the wait within
    // kStopCheckMs.
    Received Receive(void* data, std::size_t length, int timeoutMs,
                     const std::atomic<bool>* stop = nullptr);
    // True when data (or the peer's close) is waiting, within `timeoutMs`.
    bool WaitReadable(int timeoutMs);
    // The numeric address (IPv4 dotted, IPv6 without brackets) this end of the connection
    // has; empty when unknown.
    std::string LocalAddress() const;
    // Ends both directions at once, waking a thread that waits on the socket; the socket
    // stays open until Close.
    void Shutdown();
    void Close();

    static constexpr Native kInvalid = -1;
    // How often a wait looks at its stop flag.
    static constexpr int kStopCheckMs = 50;

  private:
    Native Release() {
        const Native native = m_native;
        m_native = kInvalid;
        return native;
    }
    Native m_native = kInvalid;
};

class TcpListener {
  public:
    TcpListener() = default;
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;
    ~TcpListener() { Close(); }

    // Listens on host:port (numeric IPv4 or IPv6 address); port 0 picks a free one.
    bool Listen(const std::string& host, std::uint16_t port, std::string& error);
    // The port listened on.
    std::uint16_t Port() const { return m_port; }
    // The next connection, or none when nothing arrived within `timeoutMs` or the system
    // gave none (AcceptError then says why). Accepted connections keep TCP keepalive on, so
    // a peer that vanished without a word is noticed.
    std::optional<TcpSocket> Accept(int timeoutMs);
    // Why the last Accept found a connection waiting but could not take it (no file
    // descriptor left, say); empty after a success or a time-out.
    const std::string& AcceptError() const { return m_acceptError; }
    void Close();

  private:
    TcpSocket::Native m_native = TcpSocket::kInvalid;
    std::uint16_t m_port = 0;
    std::string m_acceptError;
    // A descriptor held back for the moment every other one is taken: closed to accept one
    // more connection, so a control text still gets through (Linux).
    int m_reserve = -1;
};
