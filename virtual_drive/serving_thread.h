// A front door's server listening and serving on a thread of its own beside the other
// doors: what the iSCSI and the USB front doors share. `Server` has Listen(error), Port(),
// Run() (serves until Stop()) and Stop() (safe in a signal handler).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace vdrive {

template <typename Server> class ServingThread {
  public:
    ServingThread() = default;
    ~ServingThread() { Stop(); }
    ServingThread(const ServingThread&) = delete;
    ServingThread& operator=(const ServingThread&) = delete;

    // Listens and starts serving; false with `error` saying why (an address in use).
    bool Start(std::unique_ptr<Server> server, std::string& error) {
        if (!server->Listen(error)) {
            return false;
        }
        m_server = std::move(server);
        m_thread = std::thread([server = m_server.get()] { server->Run(); });
        return true;
    }
    std::uint16_t Port() const { return m_server ? m_server->Port() : 0; }
    // Ends every connection and waits for them.
    void Stop() {
        RequestStop();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        m_server.reset();
    }
    // Asks the server to stop without waiting (safe in a signal handler).
    void RequestStop() {
        if (Server* server = m_server.get()) {
            server->Stop();
        }
    }

  private:
    std::unique_ptr<Server> m_server;
    std::thread m_thread;
};

} // namespace vdrive
