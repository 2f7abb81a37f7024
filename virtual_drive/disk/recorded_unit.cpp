#include "virtual_drive/disk/recorded_unit.h"

namespace vdrive {

ScsiTaskResult RecordedUnit::Execute(const ScsiTask& task) {
    ScsiTaskResult result = m_disk.Execute(task);
    const std::uint8_t operation = task.cdb.empty() ? 0 : task.cdb[0];
    m_log.Record(m_door, m_letter, operation, task.expectedLength,
                 result.answered ? std::optional<std::uint8_t>(result.status) : std::nullopt);
    return result;
}

} // namespace vdrive
