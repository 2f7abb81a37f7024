// The full feature phase of one connection (one connection per session): commands pass
// the command window in CmdSN order, then go to their handler: SCSI commands and Data-Out
// to the task set, task management, NOP-Out, text and logout here; anything else is
// rejected. A discovery session has no logical unit and takes text, NOP-Out and logout only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "virtual_drive/iscsi/login.h"
#include "virtual_drive/iscsi/pdu.h"
#include "virtual_drive/iscsi/scsi_tasks.h"
#include "virtual_drive/iscsi/sequence.h"
#include "virtual_drive/iscsi/text_exchange.h"

namespace vdrive::iscsi {

enum class RejectReason : std::uint8_t {
    ProtocolError = 0x04,
    CommandNotSupported = 0x05,
    InvalidPduField = 0x09,
};

// Commands ahead of a gap in CmdSN may hold this much data together (NOP-Out and text
// requests carry some); more is dropped as if outside the window.
inline constexpr std::size_t kMaxHeldBytes = 1u << 20;

class Session {
  public:
    // `unit` is null for a discovery session; `nexus` names the session to it. `flush`
    // takes long answers in pieces; it may be empty.
    Session(const Login& login, const TargetList& targets, IScsiLogicalUnit* unit,
            std::uint64_t nexus, std::string portal, Flush flush = {});
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Handles one PDU, appending what goes back to `out`. False: the connection ends
    // once `out` is sent.
    bool Handle(const Pdu& pdu, std::vector<std::uint8_t>& out);
    std::uint32_t MaxDataLength() const { return m_parameters.targetRecvDataSegment; }

  private:
    bool Dispatch(const Pdu& pdu, std::vector<std::uint8_t>& out);
    bool TaskManagement(const Pdu& request, std::vector<std::uint8_t>& out);
    // Turns a command held for its CmdSN into a no-op; true when there was one.
    bool AbortEarly(std::uint32_t taskTag);
    void NopOut(const Pdu& request, std::vector<std::uint8_t>& out);
    void Logout(const Pdu& request, std::vector<std::uint8_t>& out);
    void Reject(const Pdu& rejected, RejectReason reason, std::vector<std::uint8_t>& out);

    SessionParameters m_parameters;
    Sequence m_sequence;
    Flush m_flush;
    std::optional<ScsiTasks> m_tasks;
    TextExchange m_text;
    std::map<std::uint32_t, Pdu> m_early; // commands ahead of ExpCmdSN, by CmdSN
    std::size_t m_earlyBytes = 0;         // their data segments together
};

} // namespace vdrive::iscsi
