// The pure parts of the Linux SG_IO backend (scsi_transport_linux.cpp), apart from the
// system calls so that they can be checked without a drive.
#pragma once

#include <scsi/sg.h>
#include <signal.h>

#include <cstdint>
#include <span>
#include <string>

#include "device/scsi_types.h"

// Room for the sense data of one command: fixed format with its usual additional bytes.
inline constexpr std::size_t kSenseLength = 32;

// Fills the SG_IO request for one command: `cdb` (16 bytes, kept by the caller), the
// staged `buffer` of `carried` bytes, `sense` for the sense data of a CHECK CONDITION (for
// the diagnostic only), a 4-second time-out. A transfer without data has no data phase.
sg_io_hdr_t MakeSgIoHeader(std::uint8_t* cdb, std::uint8_t* buffer, std::uint32_t carried,
                           ScsiDirection direction, std::span<std::uint8_t> sense);

// The command succeeded only when the ioctl did and the SCSI status, the host status and
// the driver status are all clear.
bool SgIoSucceeded(int ioctlResult, const sg_io_hdr_t& header);

// Diagnostics for LastError. `error` is errno after a failed call; `sense` the bytes of
// the request's sense buffer (the header's sb_len_wr says how many the kernel wrote).
std::string DescribeOpenFailure(const std::string& path, int error);
std::string DescribeSgIoFailure(const std::string& path, int ioctlResult, int error,
                                const sg_io_hdr_t& header, std::span<const std::uint8_t> sense);

// While one exists, the calling thread takes no signal that can be blocked; they wait and
// arrive when it ends. The sg driver's SG_IO waits interruptibly: a signal would end the
// wait with the command still under way, and a handler installed with restart semantics
// would have the kernel send the same command a second time. The disk node's SG_IO waits
// for the drive whatever comes, and the command line relies on that.
class SignalsDeferred {
  public:
    SignalsDeferred();
    ~SignalsDeferred();
    SignalsDeferred(const SignalsDeferred&) = delete;
    SignalsDeferred& operator=(const SignalsDeferred&) = delete;

  private:
    sigset_t m_previous{};
};
