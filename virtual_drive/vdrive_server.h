// tessalok-vdrive's server: serves a VolumeSet over TCP (wire protocol version 1,
// device/vdrive_wire.h). A thread per connection; the models sit behind one mutex, held
// only while a command or control text is carried out, so a slow or silent connection
// never holds up the others. Every connection is bounded: a message must arrive whole
// within a few seconds, the first message of a new connection within a second, a
// connection with an open volume is closed after a minute without a message, and lengths
// above 65535 end the connection. When all connections are taken, the one idle longest
// (a connection without an open volume first) is closed to make room, so idle sockets
// cannot lock clients out; a connection that finds every other one busy, or for which no
// thread can be started, is refused alone and the refusal is logged.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>

#include "device/tcp_socket.h"
#include "virtual_drive/volume_set.h"

namespace vdrive {

struct ServerSettings {
    std::string host = "127.0.0.1";
    std::uint16_t port = 48150;
    int latencyMs = 0;          // added before every command reply
    int silenceMs = 5000;       // how long a silenced command keeps its client waiting
    int messageLimitMs = 5000;  // a started message must be complete within this
    int greetingLimitMs = 1000; // a new connection must start its first message within this
    int idleLimitMs = 60000;    // an idle connection is closed after this
    unsigned maxConnections = 64;
    bool verbose = false; // one decoded log line per command
    // Starts the thread of a connection; empty: a detached std::thread. Like std::thread it
    // may throw std::system_error when the system has no thread to give (tests do so).
    std::function<void(std::function<void()>)> startThread;

    // True when `host` is a loopback address (127.0.0.0/8): only this machine can reach
    // the server. The control texts carry no authentication.
    bool LoopbackOnly() const;
};

// True when `host` is a loopback address (127.0.0.0/8, ::1, localhost).
bool IsLoopbackAddress(const std::string& host);

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
    // One connection being served; the fields other than `socket` are guarded by
    // m_connectionsMutex.
    struct Connection {
        TcpSocket socket;
        bool idle = true;        // waiting for the next message
        bool volumeOpen = false; // an open volume may wait long between messages
        std::chrono::steady_clock::time_point idleSince = std::chrono::steady_clock::now();
        std::atomic<bool> closeRequested{false}; // making room for a new connection
    };

    void Accepted(TcpSocket socket);
    // Room for one more connection; false: every connection is busy.
    bool MakeRoom();
    void StartThread(std::function<void()> work);
    void ServeConnection(std::list<Connection>::iterator connection);
    void Serve(Connection& connection);
    void MarkIdle(Connection& connection, bool idle);
    // False: the connection ends.
    bool ServeMessage(TcpSocket& socket, std::uint8_t type, char& openLetter);
    bool ServeCommand(TcpSocket& socket, char letter);
    bool ServeControl(TcpSocket& socket);
    // Waits up to `limitMs` for the first byte of the next message, watching for the
    // server's stop and a request to close.
    bool WaitForMessage(Connection& connection, int limitMs, std::uint8_t& type);
    void Pause(int milliseconds) const;
    void Emit(const std::string& text);

    VolumeSet& m_volumes;
    ServerSettings m_settings;
    Log m_log;
    TcpListener m_listener;
    std::mutex m_logMutex;
    std::atomic<bool> m_stopping{false};
    std::mutex m_connectionsMutex;
    std::condition_variable m_connectionsDone;
    std::list<Connection> m_connections;
};

} // namespace vdrive
