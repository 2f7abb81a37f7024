#include "virtual_drive/disk/sense.h"

namespace vdrive::scsi {

std::vector<std::uint8_t> FixedSense(SenseKey key, SenseCode code) {
    std::vector<std::uint8_t> sense(kFixedSenseLength, 0);
    sense[0] = 0x70;
    sense[2] = static_cast<std::uint8_t>(key);
    sense[7] = kFixedSenseLength - 8; // additional sense length
    sense[12] = code.asc;
    sense[13] = code.ascq;
    return sense;
}

ScsiTaskResult CheckCondition(SenseKey key, SenseCode code) {
    ScsiTaskResult result;
    result.status = kScsiStatusCheckCondition;
    result.sense = FixedSense(key, code);
    return result;
}

} // namespace vdrive::scsi
