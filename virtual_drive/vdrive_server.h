// tessalok-vdrive's server: serves a VolumeSet over TCP (wire protocol version 1,
// device/vdrive_wire.h). A thread per connection; the models sit behind one mutex, held
// only while a command or control text is carried out, so a slow or silent connection
// never holds up the others. Every connection is bounded: a message must arrive whole
// within a few seconds, so must the first message of a new connection, a connection with
// an open volume is closed after a minute without a message, and lengths above
// 65535 end the connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "device/tcp_socket.h"
#include "virtual_drive/connection_threads.h"
#include "virtual_drive/volume_set.h"

namespace vdrive {

struct ServerSettings {
    std::string host = "127.0.0.1";
    std::uint16_t port = 48150;
    int latencyMs = 0;         // added before every command reply
    int silenceMs = 5000;      // how long a silenced command keeps its client waiting
    int messageLimitMs = 5000; // a started message must be complete within this
    int idleLimitMs = 60000;   // an idle connection is closed after this
    unsigned maxConnections = 64;
    bool verbose = false; // one decoded log line per command
};

class VdriveServer {
  public:
    using Log = std::function<void(const std::string&)>;
    VdriveServer(VolumeSet& volumes, ServerSettings settings, Log log);
    ~VdriveServer();

    bool Listen(std::string& error);
    std::uint16_t Port() const { return m_listener.Port(); }
    // Serves until Stop() or a "shutdown" control text; waits for its connections.
    void Run();
    void Stop() { m_stopping = true; }

    // Runs a control text under the models' lock (also for the start-up script).
    std::string Control(const std::string& text);

  private:
    void Serve(TcpSocket socket);
    // False: the connection ends.
    bool ServeMessage(TcpSocket& socket, std::uint8_t type, char& openLetter);
    bool ServeCommand(TcpSocket& socket, char letter);
    bool ServeControl(TcpSocket& socket);
    // Waits up to `limitMs` for the first byte of the next message, watching for the
    // server's stop.
    bool WaitForMessage(TcpSocket& socket, int limitMs, std::uint8_t& type);
    void Pause(int milliseconds) const;
    void Emit(const std::string& text);

    VolumeSet& m_volumes;
    ServerSettings m_settings;
    Log m_log;
    TcpListener m_listener;
    std::mutex m_logMutex;
    std::atomic<bool> m_stopping{false};
    ConnectionThreads m_threads;
};

} // namespace vdrive
