#include "virtual_drive/iscsi/target_server.h"

#include <exception>

#include "virtual_drive/iscsi/connection.h"

namespace vdrive::iscsi {

namespace {

constexpr const char* kDoor = "iSCSI"; // names this door in the log

std::string Who(const LoginIdentity& identity) {
    const std::string initiator =
        identity.initiatorName.empty() ? "an initiator" : identity.initiatorName;
    return initiator + (identity.sessionType == "Discovery" ? " (discovery)"
                        : identity.targetName.empty()
                            ? std::string{}
                            : " to " + identity.targetName);
}

} // namespace

std::string PortalAddress(const std::string& address, std::uint16_t port) {
    const bool ipv6 = address.find(':') != std::string::npos;
    return (ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

TargetServer::TargetServer(TargetList targets, TargetSettings settings, Log log)
    : m_targets(std::move(targets)), m_settings(std::move(settings)), m_log(std::move(log)),
      m_table(m_settings.maxSessions, std::chrono::milliseconds(m_settings.evictIdleMs)) {}

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
        m_log(std::string(kDoor) + ": " + text);
    }
}

void TargetServer::Verbose(const std::string& text) {
    if (m_settings.verbose) {
        Emit(text);
    }
}

void TargetServer::Run() {
    ConnectionThreads::Policy policy;
    policy.door = kDoor;
    policy.log = [this](const std::string& line) {
        if (m_log) {
            std::lock_guard lock(m_logMutex);
            m_log(line);
        }
    };
    policy.makeRoom = [this] {
        std::string note;
        const bool made = m_table.MakeRoom(note);
        if (made) {
            Emit(note);
        }
        return made;
    };
    // Past the session limit a connection still hears why at login, up to a point.
    m_threads.AcceptUntil(
        m_listener, m_stopping, 2 * m_settings.maxSessions,
        [this](TcpSocket socket, unsigned) {
            const std::uint64_t number = ++m_sessions;
            const SessionTable::Handle entry = m_table.Add(socket);
            try {
                Serve(socket, entry, number);
            } catch (const std::exception& error) {
                Emit(std::string("connection ended: ") + error.what());
            }
            m_table.Remove(entry); // before the socket closes
        },
        policy);
}

bool TargetServer::Admit(SessionTable::Handle entry, const LoginIdentity& who,
                         std::uint64_t isid) {
    std::string note;
    const SessionTable::Admission admission =
        m_table.Admit(entry, {who.initiatorName, isid, who.targetName}, note);
    if (!note.empty()) {
        Emit(note);
    }
    if (admission == SessionTable::Admission::Refused) {
        Emit("login of " + Who(who) + " refused: out of resources");
        return false;
    }
    return true;
}

void TargetServer::Serve(TcpSocket& socket, SessionTable::Handle entry,
                         std::uint64_t sessionNumber) {
    // SendTargets names the address this connection reached, whatever was listened on.
    std::string address = socket.LocalAddress();
    if (address.empty()) {
        address = m_settings.host;
    }
    Connection connection(
        m_targets, PortalAddress(address, Port()),
        [this, entry](const LoginIdentity& who, std::uint64_t isid) {
            return Admit(entry, who, isid);
        },
        sessionNumber);
    bool sendFailed = false;
    const auto send = [&socket, &sendFailed](std::vector<std::uint8_t>& out) {
        sendFailed = sendFailed || (!out.empty() && !socket.SendAll(out.data(), out.size()));
        out.clear();
    };
    connection.SetFlush(send);
    const ByteSource source = [&socket, this](std::uint8_t* data, std::size_t length) {
        return socket.ReceiveAll(data, length, m_settings.messageLimitMs);
    };
    Pdu pdu;
    std::vector<std::uint8_t> out;
    bool started = false;
    for (;;) {
        const bool loggedIn = connection.LoggedIn();
        const int limitMs = loggedIn  ? -1
                            : started ? m_settings.loginLimitMs
                                      : m_settings.greetingLimitMs;
        m_table.SetIdle(entry, true);
        if (!WaitReadable(socket, limitMs, m_stopping, &entry->closing)) {
            if (!loggedIn && !m_stopping && !entry->closing) {
                Verbose("connection closed: no login PDU within " + std::to_string(limitMs) +
                        " ms");
            }
            return;
        }
        m_table.SetIdle(entry, false);
        started = true;
        const ReadResult read = ReadPdu(source, connection.MaxDataLength(), pdu);
        if (read == ReadResult::Malformed) {
            Emit("connection of " + Who(connection.Identity()) +
                 " dropped: a data segment longer than negotiated");
        }
        if (read != ReadResult::Ok) {
            if (read == ReadResult::Closed && loggedIn && !entry->closing) {
                Verbose("session of " + Who(connection.Identity()) + " ended: connection closed");
            }
            return;
        }
        const bool open = connection.Handle(pdu, out);
        send(out);
        if (sendFailed) {
            return;
        }
        if (!loggedIn && connection.LoggedIn()) {
            Verbose(Who(connection.Identity()) + " logged in (session " +
                    std::to_string(sessionNumber) + ")");
        }
        if (open) {
            continue;
        }
        if (!connection.LoggedIn()) {
            if (connection.LoginRefusal() != LoginStatus::OutOfResources) {
                Verbose("login of " + Who(connection.Identity()) + " refused: " +
                        LoginStatusText(connection.LoginRefusal()));
            }
        } else if (pdu.Op() == Opcode::LogoutRequest) {
            Verbose(Who(connection.Identity()) + " logged out");
        } else if (pdu.Op() == Opcode::TaskManagement) {
            Verbose("session of " + Who(connection.Identity()) + " ended by a cold reset");
        } else {
            Emit("connection of " + Who(connection.Identity()) +
                 " dropped: protocol error (a PDU of opcode " +
                 std::to_string(static_cast<unsigned>(pdu.Op())) + ")");
        }
        return;
    }
}

} // namespace vdrive::iscsi
