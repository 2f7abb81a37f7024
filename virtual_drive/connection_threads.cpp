#include "virtual_drive/connection_threads.h"

#include <thread>

namespace vdrive {

namespace {

constexpr int kSliceMs = 100; // how often waiting threads look at the stop flag

} // namespace

void ConnectionThreads::AcceptUntil(TcpListener& listener, const std::atomic<bool>& stopping,
                                    unsigned limit, const Serve& serve) {
    while (!stopping) {
        std::optional<TcpSocket> socket = listener.Accept(kSliceMs);
        if (!socket) {
            continue;
        }
        std::lock_guard lock(m_mutex);
        if (m_running >= limit) {
            continue; // too many at once: this one is closed at once
        }
        const unsigned others = m_running++;
        std::thread([this, serve, others, s = std::move(*socket)]() mutable {
            serve(std::move(s), others);
            std::lock_guard done(m_mutex);
            --m_running;
            m_done.notify_all();
        }).detach();
    }
    listener.Close();
    WaitAll();
}

void ConnectionThreads::WaitAll() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_running == 0; });
}

bool WaitReadable(TcpSocket& socket, int limitMs, const std::atomic<bool>& stopping) {
    for (int waited = 0; (limitMs < 0 || waited < limitMs) && !stopping; waited += kSliceMs) {
        if (socket.WaitReadable(kSliceMs)) {
            return true;
        }
    }
    return false;
}

} // namespace vdrive
