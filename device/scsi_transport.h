// The transport seam: open a volume by drive letter, send one 16-byte CDB, close it.
//
// Backends: Windows SCSI pass-through (scsi_transport_win32), Linux SG_IO
// (scsi_transport_linux), the virtual-drive client (vdrive_transport), the in-memory
// transport of the tests (memory_transport) and the recording decorator
// (recording_transport). Results are success flags only: a backend may keep its last
// system error for diagnostics (LastError), never pass it up as a result.
#pragma once

#include <cstdint>
#include <string>

#include "device/scsi_types.h"

class IScsiTransport {
public:
    using Handle = std::intptr_t;
    static constexpr Handle kInvalidHandle = -1;

    virtual ~IScsiTransport() = default;

    // Opens the volume of drive `letter` ('A'..'Z') for reading and writing.
    // Returns kInvalidHandle when there is no such volume or it cannot be opened;
    // letter 0 never opens.
    virtual Handle OpenDrive(char letter) = 0;

    // Sends `cdb` on `handle` with a 4-second time-out. `data` holds `length` bytes:
    // for a read it receives the reply, for a write it holds what is sent. A length of
    // 0 is sent as a write without data. True only when the command was carried out and
    // the SCSI status was GOOD; on failure a read leaves `data` as it was.
    virtual bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data,
                                 std::uint32_t length, ScsiDirection direction) = 0;

    // Closes a handle that OpenDrive returned.
    virtual void CloseDrive(Handle handle) = 0;

    // Bit i set: drive letter 'A' + i is present.
    virtual std::uint32_t PresentDriveMask() = 0;

    // Human-readable description of the last failure, for diagnostics only.
    virtual std::string LastError() const { return {}; }
};
