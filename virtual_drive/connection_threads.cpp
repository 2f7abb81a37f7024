#include "virtual_drive/connection_threads.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

namespace vdrive {

namespace {

constexpr int kSliceMs = 100;       // how often waiting threads look at the stop flag
constexpr int kFirstPauseMs = 50;   // after the first refused accept
constexpr int kLongestPauseMs = 1000;
// How long a new connection waits for the one closed to make room for it.
constexpr auto kRoomWaitLimit = std::chrono::milliseconds(1000);

} // namespace

void AcceptPacer::After(const TcpListener& listener, bool accepted,
                        const std::atomic<bool>& stopping) {
    if (accepted || listener.AcceptError().empty()) {
        if (accepted && m_pauseMs > 0 && m_log) {
            m_log(m_door + ": accepting connections again");
        }
        m_pauseMs = accepted ? 0 : m_pauseMs;
        return;
    }
    if (m_pauseMs == 0 && m_log) {
        m_log(m_door + ": cannot accept a connection (" + listener.AcceptError() +
              "): trying again, less often, until one of the others closes");
    }
    m_pauseMs = m_pauseMs == 0 ? kFirstPauseMs : std::min(2 * m_pauseMs, kLongestPauseMs);
    for (int waited = 0; waited < m_pauseMs && !stopping; waited += kSliceMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kSliceMs, m_pauseMs)));
    }
}

bool ConnectionThreads::Room(unsigned limit, const Policy& policy) {
    {
        std::lock_guard lock(m_mutex);
        if (m_running < limit) {
            return true;
        }
    }
    if (!policy.makeRoom || !policy.makeRoom()) {
        return false;
    }
    std::unique_lock lock(m_mutex);
    return m_done.wait_for(lock, kRoomWaitLimit, [&] { return m_running < limit; });
}

void ConnectionThreads::AcceptUntil(TcpListener& listener, const std::atomic<bool>& stopping,
                                    unsigned limit, const Serve& serve, const Policy& policy) {
    const auto log = [&policy](const std::string& text) {
        if (policy.log) {
            policy.log(policy.door + ": " + text);
        }
    };
    AcceptPacer pacer(policy.door, policy.log);
    while (!stopping) {
        std::optional<TcpSocket> socket = listener.Accept(kSliceMs);
        pacer.After(listener, socket.has_value(), stopping);
        if (!socket) {
            continue;
        }
        if (!Room(limit, policy)) {
            log("connection refused: all " + std::to_string(limit) + " connections are busy");
            continue; // closed at once
        }
        std::lock_guard lock(m_mutex);
        const unsigned others = m_running++;
        try {
            std::thread([this, serve, others, s = std::move(*socket)]() mutable {
                serve(std::move(s), others);
                std::lock_guard done(m_mutex);
                --m_running;
                m_done.notify_all();
            }).detach();
        } catch (const std::system_error& error) {
            --m_running; // no thread to be had (a thread limit): the connection is closed
            log(std::string("connection refused: no thread can be started for it (") +
                error.what() + ")");
        }
    }
    listener.Close();
    WaitAll();
}

void ConnectionThreads::WaitAll() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_running == 0; });
}

bool WaitReadable(TcpSocket& socket, int limitMs, const std::atomic<bool>& stopping,
                  const std::atomic<bool>* closing) {
    for (int waited = 0; (limitMs < 0 || waited < limitMs) && !stopping &&
                         (closing == nullptr || !*closing);
         waited += kSliceMs) {
        if (socket.WaitReadable(kSliceMs)) {
            return true;
        }
    }
    return false;
}

} // namespace vdrive
