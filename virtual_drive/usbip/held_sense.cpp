#include "virtual_drive/usbip/held_sense.h"

#include <algorithm>

namespace vdrive::usbip {
namespace {

constexpr std::uint8_t kRequestSense = 0x03;

} // namespace

ScsiTaskResult HeldSenseUnit::Execute(const ScsiTask& task) {
    // The disk sees (and the door records) every command, REQUEST SENSE too.
    ScsiTaskResult result = m_unit.Execute(task);
    const bool fixedRequestSense =
        task.cdb.size() >= 6 && task.cdb[0] == kRequestSense && (task.cdb[1] & 0x01) == 0;
    if (fixedRequestSense && !m_sense.empty() && result.answered) {
        const std::size_t length = std::min<std::size_t>(m_sense.size(), task.cdb[4]);
        result = ScsiTaskResult{};
        result.commandLength = static_cast<std::uint32_t>(length);
        if (task.readsData) {
            const std::size_t taken = std::min<std::size_t>(length, task.expectedLength);
            result.dataIn.assign(m_sense.begin(), m_sense.begin() + static_cast<long>(taken));
        }
    }
    const bool failed = result.answered && result.status == kScsiStatusCheckCondition;
    m_sense = failed ? result.sense : std::vector<std::uint8_t>{};
    return result;
}

} // namespace vdrive::usbip
