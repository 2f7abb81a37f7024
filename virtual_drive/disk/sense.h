// Fixed-format sense data and the sense codes the logical unit reports.
#pragma once

#include <cstdint>
#include <vector>

#include "virtual_drive/disk/logical_unit.h"

namespace vdrive::scsi {

enum class SenseKey : std::uint8_t {
    NoSense = 0x00,
    NotReady = 0x02,
    MediumError = 0x03,
    IllegalRequest = 0x05,
    UnitAttention = 0x06,
    VendorSpecific = 0x09,
    AbortedCommand = 0x0B,
};

// Additional sense code and qualifier.
struct SenseCode {
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    friend bool operator==(const SenseCode&, const SenseCode&) = default;
};

inline constexpr SenseCode kNoAdditionalSense{0x00, 0x00};
inline constexpr SenseCode kWriteError{0x0C, 0x00};
inline constexpr SenseCode kUnrecoveredReadError{0x11, 0x00};
inline constexpr SenseCode kInvalidCommandOperationCode{0x20, 0x00};
inline constexpr SenseCode kLbaOutOfRange{0x21, 0x00};
inline constexpr SenseCode kInvalidFieldInCdb{0x24, 0x00};
inline constexpr SenseCode kMediumMayHaveChanged{0x28, 0x00};
inline constexpr SenseCode kPowerOnOrReset{0x29, 0x00};
inline constexpr SenseCode kSavingParametersNotSupported{0x39, 0x00};
inline constexpr SenseCode kMediumNotPresent{0x3A, 0x00};
inline constexpr SenseCode kMediumRemovalPrevented{0x53, 0x02};
// The fingerprint drive refused a vendor command (a vendor-specific code).
inline constexpr SenseCode kVendorCommandRefused{0x80, 0x00};

inline constexpr std::size_t kFixedSenseLength = 18;

// 18 bytes, response code 0x70 (current error), no information field.
std::vector<std::uint8_t> FixedSense(SenseKey key, SenseCode code);

// CHECK CONDITION with that sense data and no data.
ScsiTaskResult CheckCondition(SenseKey key, SenseCode code);

inline ScsiTaskResult IllegalRequest(SenseCode code) {
    return CheckCondition(SenseKey::IllegalRequest, code);
}

} // namespace vdrive::scsi
