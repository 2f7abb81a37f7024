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
    // `portal` ("address:port") is what SendTargets reports; `sessionAllowed` false when the
    // server is at its session limit; `sessionNumber` is unique to this connection's session.
    Connection(const TargetList& targets, std::string portal, bool sessionAllowed,
               std::uint64_t sessionNumber);

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
    Login m_login;
    std::optional<Session> m_session;
};

} // namespace vdrive::iscsi
