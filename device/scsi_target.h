// Something that answers CDBs the way a volume does: the drive models of the virtual
// drive, hosted in-process by MemoryTransport or served over TCP by tessalok-vdrive.
#pragma once

#include <cstdint>
#include <span>

#include "device/scsi_types.h"

class IScsiTarget {
public:
    virtual ~IScsiTarget() = default;
    // Carries out one command and returns its SCSI status (kScsiStatusGood on success).
    // For a GOOD read, `data` (the whole transfer) is filled; for a write it holds what
    // the host sent.
    virtual std::uint8_t ExecuteCommand(const Cdb& cdb, ScsiDirection direction,
                                        std::span<std::uint8_t> data) = 0;
};
