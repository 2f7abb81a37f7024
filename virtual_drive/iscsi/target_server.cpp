#include "virtual_drive/iscsi/target_server.h"

#include <exception>
#include <thread>

#include "virtual_drive/iscsi/connection.h"

namespace vdrive::iscsi {

namespace {

constexpr int kSliceMs = 100; // how often waiting threads look at the stop flag

} // namespace

TargetServer::TargetServer(TargetList targets, TargetSettings settings, Log log)
    : m_targets(std::move(targets)), m_settings(std::move(settings)), m_log(std::move(log)) {}

TargetServer::~TargetServer() {
    Stop();
    std::unique_lock lock(m_connectionsMutex);
    m_connectionsDone.wait(lock, [this] { return m_connections == 0; });
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
    while (!m_stopping) {
        std::optional<TcpSocket> socket = m_listener.Accept(kSliceMs);
        if (!socket) {
            continue;
        }
        std::lock_guard lock(m_connectionsMutex);
        // Past the session limit a connection still hears why at login, up to a point.
        if (m_connections >= 2 * m_settings.maxSessions) {
            continue;
        }
        const bool allowed = m_connections < m_settings.maxSessions;
        ++m_connections;
        const std::uint64_t number = ++m_sessions;
        std::thread([this, s = std::move(*socket), allowed, number]() mutable {
            try {
                Serve(std::move(s), allowed, number);
            } catch (const std::exception& error) {
                Emit(std::string("iSCSI connection ended: ") + error.what());
            }
            std::lock_guard done(m_connectionsMutex);
            --m_connections;
            m_connectionsDone.notify_all();
        }).detach();
    }
    m_listener.Close();
    std::unique_lock lock(m_connectionsMutex);
    m_connectionsDone.wait(lock, [this] { return m_connections == 0; });
}

bool TargetServer::WaitForPdu(TcpSocket& socket, int limitMs) const {
    for (int waited = 0; (limitMs < 0 || waited < limitMs) && !m_stopping; waited += kSliceMs) {
        if (socket.WaitReadable(kSliceMs)) {
            return true;
        }
    }
    return false;
}

void TargetServer::Serve(TcpSocket socket, bool sessionAllowed, std::uint64_t sessionNumber) {
    const std::string address = m_settings.host == "0.0.0.0" ? socket.LocalAddress()
                                                             : m_settings.host;
    Connection connection(m_targets, address + ":" + std::to_string(Port()), sessionAllowed,
                          sessionNumber);
    const ByteSource source = [&socket, this](std::uint8_t* data, std::size_t length) {
        return socket.ReceiveAll(data, length, m_settings.messageLimitMs);
    };
    Pdu pdu;
    std::vector<std::uint8_t> out;
    while (WaitForPdu(socket, connection.LoggedIn() ? -1 : m_settings.loginLimitMs)) {
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
