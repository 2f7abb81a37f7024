// What both front doors of tessalok-vdrive do with their connections: accept them until
// told to stop, serve each on a thread of its own up to a limit at once, and wait for all
// of them before the server goes away.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "device/tcp_socket.h"

namespace vdrive {

class ConnectionThreads {
  public:
    ConnectionThreads() = default;
    ~ConnectionThreads() { WaitAll(); }
    ConnectionThreads(const ConnectionThreads&) = delete;
    ConnectionThreads& operator=(const ConnectionThreads&) = delete;

    // `serve` gets the connection and how many others were being served when it came.
    using Serve = std::function<void(TcpSocket socket, unsigned others)>;

    // Accepts until `stopping`; a connection past `limit` at once is closed unserved.
    // Closes the listener and waits for every connection before it returns.
    void AcceptUntil(TcpListener& listener, const std::atomic<bool>& stopping, unsigned limit,
                     const Serve& serve);
    void WaitAll();

  private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    unsigned m_running = 0;
};

// Waits up to `limitMs` (negative: without limit) for `socket` to have something to read,
// looking at `stopping` every few tenths of a second.
bool WaitReadable(TcpSocket& socket, int limitMs, const std::atomic<bool>& stopping);

} // namespace vdrive
