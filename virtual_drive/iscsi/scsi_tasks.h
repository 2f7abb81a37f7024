// The SCSI tasks of one session: a command in, its data out collected from immediate data,
// unsolicited Data-Out and R2T bursts, the logical unit's answer sent back as Data-In and
// SCSI Response with residual counts; and the tasks task management can abort (writes
// still waiting for data, commands a silent drive never answered).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "virtual_drive/disk/logical_unit.h"
#include "virtual_drive/iscsi/negotiation.h"
#include "virtual_drive/iscsi/pdu.h"
#include "virtual_drive/iscsi/sequence.h"

namespace vdrive::iscsi {

// The longest transfer one command may announce (the whole default disk).
inline constexpr std::uint32_t kMaxTransferLength = 16u << 20;
// Writes waiting for their data may together announce no more than this; past it a new
// write is answered TASK SET FULL, so a session's buffers stay bounded (each write's buffer
// is its announced length, no more).
inline constexpr std::uint64_t kMaxPendingWriteBytes = 32u << 20;

class ScsiTasks {
  public:
    // `nexus` names the session to the logical unit.
    // `flush` (may be empty) takes a long read's Data-In a burst at a time.
    ScsiTasks(IScsiLogicalUnit& unit, std::uint64_t nexus, const SessionParameters& parameters,
              Sequence& sequence, const Flush& flush)
        : m_unit(unit), m_nexus(nexus), m_parameters(parameters), m_sequence(sequence),
          m_flush(flush) {}
    ~ScsiTasks() { m_unit.NexusLost(m_nexus); }
    ScsiTasks(const ScsiTasks&) = delete;
    ScsiTasks& operator=(const ScsiTasks&) = delete;

    enum class Outcome { Ok, Reject, ProtocolError };
    // A SCSI Command PDU. Reject: answer with a Reject PDU; ProtocolError: end the connection.
    Outcome Command(const Pdu& command, std::vector<std::uint8_t>& out);
    // A Data-Out PDU; data for a task no longer known is dropped.
    Outcome DataOut(const Pdu& dataOut, std::vector<std::uint8_t>& out);

    // ABORT TASK: true when the task was still open here (it is then never answered).
    bool Abort(std::uint32_t taskTag);
    // The whole task set goes (ABORT/CLEAR TASK SET).
    void AbortAll();
    // A LUN or target reset: the task set goes and the unit is reset.
    void Reset();

  private:
    struct PendingWrite {
        Pdu command;                              // header only
        std::vector<std::uint8_t> data;           // collected so far, in order
        std::uint32_t sequenceEnd = 0;            // where the current unsolicited or R2T burst ends
        std::uint32_t transferTag = kReservedTag; // of the R2T in force; reserved: unsolicited
        std::uint32_t nextDataSn = 0;
        std::uint32_t nextR2tSn = 0;
    };

    void Forget(std::map<std::uint32_t, PendingWrite>::iterator write);
    void RequestData(PendingWrite& write, std::vector<std::uint8_t>& out);
    void Execute(const Pdu& command, std::span<const std::uint8_t> dataOut,
                 std::vector<std::uint8_t>& out);
    void Answer(const Pdu& command, const ScsiTaskResult& result, std::vector<std::uint8_t>& out);

    IScsiLogicalUnit& m_unit;
    std::uint64_t m_nexus;
    const SessionParameters& m_parameters;
    Sequence& m_sequence;
    const Flush& m_flush;
    std::map<std::uint32_t, PendingWrite> m_writes; // by initiator task tag
    std::uint64_t m_pendingBytes = 0;               // their expected lengths together
    std::set<std::uint32_t> m_unanswered;           // silent commands, by task tag
    std::uint32_t m_nextTransferTag = 1;
};

} // namespace vdrive::iscsi
