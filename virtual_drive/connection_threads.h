// What both front doors of tessalok-vdrive do with their connections: accept them until
// told to stop, serve each on a thread of its own up to a limit at once, and wait for all
// of them before the server goes away.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "device/tcp_socket.h"

namespace vdrive {

using LogFunction = std::function<void(const std::string&)>;

// Keeps an accept loop from spinning when connections wait but the system gives none (no
// file descriptor left): waits before the next try, twice as long each time up to a
// second, and says so once until a connection is taken again.
class AcceptPacer {
  public:
    // `door` names the door in the log ("iSCSI").
    AcceptPacer(std::string door, LogFunction log) : m_door(std::move(door)), m_log(std::move(log)) {}
    // After each Accept: `accepted` whether it gave a connection.
    void After(const TcpListener& listener, bool accepted, const std::atomic<bool>& stopping);

  private:
    std::string m_door;
    LogFunction m_log;
    int m_pauseMs = 0; // 0: accepting normally
};

class ConnectionThreads {
  public:
    ConnectionThreads() = default;
    ~ConnectionThreads() { WaitAll(); }
    ConnectionThreads(const ConnectionThreads&) = delete;
    ConnectionThreads& operator=(const ConnectionThreads&) = delete;

    // `serve` gets the connection and how many others were being served when it came.
    using Serve = std::function<void(TcpSocket socket, unsigned others)>;

    struct Policy {
        std::string door; // names the door in the log lines
        LogFunction log;  // every refusal is logged
        // With `limit` connections served: closes one (an idle one) to make room; false
        // when none could go.
        std::function<bool()> makeRoom;
    };

    // Accepts until `stopping`; a connection past `limit` at once is closed unserved unless
    // the policy makes room for it. Closes the listener and waits for every connection
    // before it returns.
    void AcceptUntil(TcpListener& listener, const std::atomic<bool>& stopping, unsigned limit,
                     const Serve& serve, const Policy& policy = {});
    void WaitAll();

  private:
    // Room for one more below `limit`, made by the policy if need be.
    bool Room(unsigned limit, const Policy& policy);

    std::mutex m_mutex;
    std::condition_variable m_done;
    unsigned m_running = 0;
};

// Waits up to `limitMs` (negative: without limit) for `socket` to have something to read,
// looking at `stopping` (and `closing`, when given) every few tenths of a second.
bool WaitReadable(TcpSocket& socket, int limitMs, const std::atomic<bool>& stopping,
                  const std::atomic<bool>* closing = nullptr);

} // namespace vdrive
