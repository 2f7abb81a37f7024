// The pure parts of the Linux SG_IO backend (scsi_transport_linux.cpp), apart from the
// system calls so that they can be checked without a drive.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <string>

#include "device/scsi_types.h"

// Fills the SG_IO request for one command: `cdb` (16 bytes, kept by the caller) and the
// staged `buffer` of `carried` bytes, no sense data, a 4-second time-out. A transfer
// without data has no data phase.
sg_io_hdr_t MakeSgIoHeader(std::uint8_t* cdb, std::uint8_t* buffer, std::uint32_t carried,
                           ScsiDirection direction);

// The command succeeded only when the ioctl did and the SCSI status, the host status and
// the driver status are all clear.
bool SgIoSucceeded(int ioctlResult, const sg_io_hdr_t& header);

// Diagnostics for LastError. `error` is errno after a failed call.
std::string DescribeOpenFailure(const std::string& path, int error);
std::string DescribeSgIoFailure(const std::string& path, int ioctlResult, int error,
                                const sg_io_hdr_t& header);
