// The virtual-drive client backend of the transport seam: every open volume is one TCP
// connection to tessalok-vdrive (wire protocol version 1, vdrive_wire.h).
//
// Each command reply gets 4 seconds. A command that times out (or whose connection
// breaks) fails; the client drops that connection and, before the next command on the
// same handle, connects and opens the same letter again, so retries on one handle work.
// A raised stop flag (Ctrl-C) ends every wait within TcpSocket::kStopCheckMs and fails the
// command.
// Not thread-safe: one caller at a time, as the operations are.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "device/scsi_transport.h"
#include "device/tcp_socket.h"
#include "device/vdrive_wire.h"

class VirtualDriveTransport final : public IScsiTransport {
  public:
    explicit VirtualDriveTransport(std::string host = vdrive_wire::kDefaultHost,
                                   std::uint16_t port = vdrive_wire::kDefaultPort,
                                   int replyTimeoutMs = vdrive_wire::kReplyTimeoutMs);
    ~VirtualDriveTransport() override = default;

    Handle OpenDrive(char letter) override;
    bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                         ScsiDirection direction) override;
    void CloseDrive(Handle handle) override;
    // The mask of the server's volumes; 0 when the server cannot be reached.
    std::uint32_t PresentDriveMask() override;
    std::string LastError() const override { return m_lastError; }

    // Sends a control text and gives the server's answer; false (and LastError) when the
    // exchange failed.
    bool Control(const std::string& text, std::string& reply);

    // Waits end, and commands fail, while `*stop` is true; null: never.
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // Connections currently open (for the tests).
    std::size_t OpenConnectionCount() const;

  private:
    struct Volume {
        char letter = 0;
        TcpSocket socket; // invalid after a dropped connection, until reopened
    };

    enum class Outcome {
        Good,    // status GOOD, data in place
        Refused, // the server answered with another status; the connection stays
        Broken,  // time-out or a broken reply: the connection is dropped
    };

    TcpSocket Connect();
    // Connects and opens `letter`; an invalid socket on failure.
    TcpSocket ConnectAndOpen(char letter);
    Outcome Exchange(Volume& volume, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                     ScsiDirection direction);
    bool Fail(std::string error);
    // Receives `length` bytes; false, with LastError "<what> <why>", when that failed.
    bool Receive(TcpSocket& socket, void* data, std::size_t length, const std::string& what);
    bool Stopped() const { return m_stop != nullptr && m_stop->load(); }
    // host:port, the host in brackets when it is an IPv6 address.
    std::string Address() const;

    std::string m_host;
    std::uint16_t m_port;
    int m_replyTimeoutMs;
    std::map<Handle, Volume> m_volumes;
    Handle m_nextHandle = 1;
    std::string m_lastError;
    const std::atomic<bool>* m_stop = nullptr;
};
