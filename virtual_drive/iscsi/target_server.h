// tessalok-vdrive's iSCSI front door: a listener and a thread per connection, each running
// one Connection over its socket. Bounded like the protocol v1 server: each login PDU must
// arrive within the login limit, a started PDU must arrive whole within the message limit,
// data segments longer than negotiated end the connection, and sessions past the limit
// are refused at login. A connection that ends never disturbs the others.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "device/tcp_socket.h"
#include "virtual_drive/connection_threads.h"
#include "virtual_drive/iscsi/target_name.h"

namespace vdrive::iscsi {

struct TargetSettings {
    std::string host = "127.0.0.1";
    std::uint16_t port = 3260;
    int loginLimitMs = 10000;  // the next login PDU must start within this
    int messageLimitMs = 5000; // a started PDU must be complete within this
    unsigned maxSessions = 16;
};

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
    void Serve(TcpSocket socket, bool sessionAllowed, std::uint64_t sessionNumber);
    void Emit(const std::string& text);

    TargetList m_targets;
    TargetSettings m_settings;
    Log m_log;
    TcpListener m_listener;
    std::atomic<bool> m_stopping{false};
    std::mutex m_logMutex;
    std::atomic<std::uint64_t> m_sessions{0}; // ever started
    ConnectionThreads m_threads;
};

} // namespace vdrive::iscsi
