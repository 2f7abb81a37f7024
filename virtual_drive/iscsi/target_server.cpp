#include "virtual_drive/iscsi/target_server.h"

#include <exception>

#include "virtual_drive/iscsi/connection.h"

namespace vdrive::iscsi {

TargetServer::TargetServer(TargetList targets, TargetSettings settings, Log log)
    : m_targets(std::move(targets)), m_settings(std::move(settings)), m_log(std::move(log)) {}

TargetServer::~TargetServer() {
    Stop();
    m_threads.WaitAll();
}

bool TargetServer::Listen(std::string& error) {
    return m_listener.Listen(m_settings.host, m_settings.port, error);
}

void TargetServer::Emit(const std::string& text) {
    if (m_log) {
        std::lock_guard lock(m_logMutex);
        m_log(text);
    }
}

void TargetServer::Run() {
    // Past the session limit a connection still hears why at login, up to a point.
    m_threads.AcceptUntil(m_listener, m_stopping, 2 * m_settings.maxSessions,
                          [this](TcpSocket socket, unsigned others) {
                              const std::uint64_t number = ++m_sessions;
                              try {
                                  Serve(std::move(socket), others < m_settings.maxSessions, number);
                              } catch (const std::exception& error) {
                                  Emit(std::string("iSCSI connection ended: ") + error.what());
                              }
                          });
}

void TargetServer::Serve(TcpSocket socket, bool sessionAllowed, std::uint64_t sessionNumber) {
    // SendTargets names the address this connection reached, whatever was listened on.
    std::string address = socket.LocalAddress();
    if (address.empty()) {
        address = m_settings.host;
    }
    Connection connection(m_targets, address + ":" + std::to_string(Port()), sessionAllowed,
                          sessionNumber);
    const ByteSource source = [&socket, this](std::uint8_t* data, std::size_t length) {
        return socket.ReceiveAll(data, length, m_settings.messageLimitMs);
    };
    Pdu pdu;
    std::vector<std::uint8_t> out;
    while (WaitReadable(socket, connection.LoggedIn() ? -1 : m_settings.loginLimitMs, m_stopping)) {
        const ReadResult read = ReadPdu(source, connection.MaxDataLength(), pdu);
        if (read == ReadResult::Malformed) {
            Emit("iSCSI connection ended: a data segment longer than negotiated");
        }
        if (read != ReadResult::Ok) {
            return;
        }
        const bool open = connection.Handle(pdu, out);
        if (!out.empty() && !socket.SendAll(out.data(), out.size())) {
            return;
        }
        out.clear();
        if (!open) {
            return;
        }
    }
}

} // namespace vdrive::iscsi
