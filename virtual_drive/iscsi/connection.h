// One iSCSI connection from its first login request to its end: the login phase, then
// the session it logged in to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "virtual_drive/iscsi/login.h"
#include "virtual_drive/iscsi/pdu.h"
#include "virtual_drive/iscsi/session.h"
#include "virtual_drive/iscsi/target_name.h"

namespace vdrive::iscsi {

class Connection {
  public:
    // `portal` ("address:port") is what SendTargets reports; `admit` decides whether the
    // login gets its session; `sessionNumber` is unique to this connection's session.
    Connection(const TargetList& targets, std::string portal, Login::Admit admit,
               std::uint64_t sessionNumber);
    // `sessionAllowed` false when the server is at its session limit.
    Connection(const TargetList& targets, std::string portal, bool sessionAllowed,
               std::uint64_t sessionNumber);

    // Where long answers go in pieces while Handle runs (each held command's answer, each
    // burst of a read), so that what waits to be sent stays small. Without it everything
    // is appended to Handle's `out`.
    void SetFlush(Flush flush) { m_flush = std::move(flush); }
    const LoginIdentity& Identity() const { return m_login.Identity(); }
    LoginStatus LoginRefusal() const { return m_login.Refusal(); }

    bool LoggedIn() const { return m_session.has_value(); }
    // The longest data segment the next PDU may carry.
    std::uint32_t MaxDataLength() const;
    // Handles one PDU, appending what goes back to `out`. False: the connection ends
    // once `out` is sent.
    bool Handle(const Pdu& pdu, std::vector<std::uint8_t>& out);

  private:
    const TargetList& m_targets;
    std::string m_portal;
    std::uint64_t m_sessionNumber;
    Flush m_flush;
    Login m_login;
    std::optional<Session> m_session;
};

} // namespace vdrive::iscsi
