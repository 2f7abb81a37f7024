// tessalok-vdrive's iSCSI front door: a listener and a thread per connection, each running
// one Connection over its socket. Bounded like the protocol v1 server: a new connection
// must start its login at once and each later login PDU within the login limit, each part
// of a started PDU must arrive within the message limit, data segments longer than
// negotiated end the connection. Idle connections cannot lock initiators out: when every
// connection or session is taken, the one idle longest is closed to make room, and every
// refusal is logged. A login with the session id of a live session reinstates it. A
// connection that ends never disturbs the others.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "device/tcp_socket.h"
#include "virtual_drive/connection_threads.h"
#include "virtual_drive/iscsi/negotiation.h"
#include "virtual_drive/iscsi/session_table.h"
#include "virtual_drive/iscsi/target_name.h"

namespace vdrive::iscsi {

struct TargetSettings {
    std::string host = "127.0.0.1";
    std::uint16_t port = 3260;
    int greetingLimitMs = 2000; // a new connection must start its login within this
    int loginLimitMs = 10000;   // each further login PDU must start within this
    int messageLimitMs = 5000;  // each part of a started PDU must arrive within this
    int evictIdleMs = 5000;     // a session idle this long may be closed to make room
    unsigned maxSessions = 16;  // and as many connections again
    bool verbose = false;       // log logins, logouts and connections dropped
};

// "address:port", the address in brackets when it is an IPv6 one ("[::1]:3260").
std::string PortalAddress(const std::string& address, std::uint16_t port);

class TargetServer {
  public:
    using Log = std::function<void(const std::string&)>;
    TargetServer(TargetList targets, TargetSettings settings, Log log = {});
    ~TargetServer();
    TargetServer(const TargetServer&) = delete;
    TargetServer& operator=(const TargetServer&) = delete;

    bool Listen(std::string& error);
    std::uint16_t Port() const { return m_listener.Port(); }
    // Serves until Stop(); waits for its connections.
    void Run();
    void Stop() { m_stopping = true; }

  private:
    void Serve(TcpSocket& socket, SessionTable::Handle entry, std::uint64_t sessionNumber);
    bool Admit(SessionTable::Handle entry, const LoginIdentity& who, std::uint64_t isid);
    void Emit(const std::string& text);
    void Verbose(const std::string& text);

    TargetList m_targets;
    TargetSettings m_settings;
    Log m_log;
    TcpListener m_listener;
    std::atomic<bool> m_stopping{false};
    std::mutex m_logMutex;
    std::atomic<std::uint64_t> m_sessions{0}; // ever started
    SessionTable m_table;
    ConnectionThreads m_threads;
};

} // namespace vdrive::iscsi
