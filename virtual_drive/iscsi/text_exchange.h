// Text requests in full feature phase: SendTargets (all targets in a discovery session,
// the session's own target otherwise); other keys are answered NotUnderstood. An answer
// longer than the initiator takes in one PDU goes in pieces, each asked for in turn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "virtual_drive/iscsi/pdu.h"
#include "virtual_drive/iscsi/sequence.h"
#include "virtual_drive/iscsi/target_name.h"

namespace vdrive::iscsi {

// The longest answer one text request may get: SendTargets is answered once per request,
// and a request that would be answered with more (thousands of unknown keys) is rejected.
inline constexpr std::size_t kMaxTextAnswer = 64 * 1024;

class TextExchange {
  public:
    // `portal` is "address:port"; `sessionTarget` is empty in a discovery session.
    TextExchange(const TargetList& targets, std::string portal, std::string sessionTarget)
        : m_targets(targets), m_portal(std::move(portal)),
          m_sessionTarget(std::move(sessionTarget)) {}

    // False: the request is malformed (answer with a Reject).
    bool Handle(const Pdu& request, std::uint32_t segmentLimit, Sequence& sequence,
                std::vector<std::uint8_t>& out);

  private:
    void AppendTarget(const std::string& name, std::vector<std::uint8_t>& text) const;

    const TargetList& m_targets;
    std::string m_portal;
    std::string m_sessionTarget;
    std::vector<std::uint8_t> m_rest; // what the initiator has still to ask for
    std::uint32_t m_restTag = kReservedTag;
    std::uint32_t m_nextTag = 1;
};

} // namespace vdrive::iscsi
