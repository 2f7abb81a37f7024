// A SCSI logical unit as an iSCSI session sees it: one command in, its status, sense data
// and data out. The session owns sequence numbers, data segments, R2T and residual counts;
// the logical unit owns what the command means.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "device/scsi_types.h"

namespace vdrive {

// One SCSI command as the session delivers it, with all of its data-out collected.
struct ScsiTask {
    std::span<const std::uint8_t> cdb;     // as received, 6 to 16 bytes
    std::uint32_t expectedLength = 0;      // the initiator's expected data transfer length
    bool readsData = false;                // the initiator expects data in
    bool writesData = false;               // the initiator sends data out
    std::span<const std::uint8_t> dataOut; // what the initiator sent, at most expectedLength
    // The I_T nexus (the session) the command came on: PREVENT ALLOW MEDIUM REMOVAL is
    // kept per nexus, and NexusLost() ends what one nexus prevented.
    std::uint64_t nexus = 0;
};

struct ScsiTaskResult {
    // False: the command is never answered (a drive that has gone silent); the session
    // sends no response and keeps serving the connection.
    bool answered = true;
    std::uint8_t status = kScsiStatusGood;
    std::vector<std::uint8_t> sense;  // fixed-format sense data, with CHECK CONDITION
    std::vector<std::uint8_t> dataIn; // at most expectedLength bytes, empty without readsData
    // Bytes the command itself transfers, in either direction, as its CDB says; the
    // session reports the residual of the expected length against it.
    std::uint32_t commandLength = 0;
};

class IScsiLogicalUnit {
  public:
    virtual ~IScsiLogicalUnit() = default;
    // Carries out one command. Safe to call from several sessions' threads at once.
    virtual ScsiTaskResult Execute(const ScsiTask& task) = 0;
    // The session of `nexus` has ended (logout or a dropped connection).
    virtual void NexusLost(std::uint64_t nexus) { static_cast<void>(nexus); }
    // LOGICAL UNIT RESET, TARGET WARM RESET or TARGET COLD RESET reached this unit.
    virtual void Reset() {}
};

} // namespace vdrive
