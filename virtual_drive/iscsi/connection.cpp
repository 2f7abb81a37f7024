#include "virtual_drive/iscsi/connection.h"

namespace vdrive::iscsi {

Connection::Connection(const TargetList& targets, std::string portal, Login::Admit admit,
                       std::uint64_t sessionNumber)
    : m_targets(targets), m_portal(std::move(portal)), m_sessionNumber(sessionNumber),
      m_login([&targets](const std::string& name) { return FindTarget(targets, name) != nullptr; },
              std::move(admit), static_cast<std::uint16_t>(sessionNumber % 0xFFFF + 1)) {}

Connection::Connection(const TargetList& targets, std::string portal, bool sessionAllowed,
                       std::uint64_t sessionNumber)
    : Connection(targets, std::move(portal),
                 [sessionAllowed](const LoginIdentity&, std::uint64_t) { return sessionAllowed; },
                 sessionNumber) {}

std::uint32_t Connection::MaxDataLength() const {
    return m_session ? m_session->MaxDataLength() : kLoginDataLimit;
}

bool Connection::Handle(const Pdu& pdu, std::vector<std::uint8_t>& out) {
    if (m_session) {
        return m_session->Handle(pdu, out);
    }
    switch (m_login.Handle(pdu, out)) {
    case Login::Step::Failed:
        return false;
    case Login::Step::Continue:
        return true;
    case Login::Step::Complete:
        break;
    }
    IScsiLogicalUnit* unit = nullptr;
    if (m_login.Kind() == SessionKind::Normal) {
        const Target* target = FindTarget(m_targets, m_login.Identity().targetName);
        if (target == nullptr) {
            return false; // the login names no target of ours: nothing to serve
        }
        unit = target->unit.get();
    }
    m_session.emplace(m_login, m_targets, unit, m_sessionNumber, m_portal, m_flush);
    return true;
}

} // namespace vdrive::iscsi
