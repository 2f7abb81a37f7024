#include "virtual_drive/disk/vendor_port.h"

#include "virtual_drive/volume_set.h"

namespace vdrive {

VolumePort::VolumePort(Volume& volume, std::mutex& modelMutex)
    : m_drive(volume.drive.get()), m_stick(volume.stick.get()), m_modelMutex(modelMutex) {}

bool VolumePort::Present() {
    std::lock_guard lock(m_modelMutex);
    return m_drive == nullptr || m_drive->Plugged();
}

VendorResult VolumePort::Execute(const Cdb& cdb, ScsiDirection direction,
                                 std::span<std::uint8_t> data) {
    std::lock_guard lock(m_modelMutex);
    if (m_drive != nullptr) {
        if (!m_drive->Plugged()) {
            return VendorResult::NotPresent;
        }
        const CommandOutcome outcome = m_drive->Execute(cdb, direction, data);
        if (outcome.silent) {
            return VendorResult::Silent;
        }
        return outcome.status == kScsiStatusGood ? VendorResult::Good
                                                 : VendorResult::CheckCondition;
    }
    if (m_stick == nullptr) {
        return VendorResult::NotPresent;
    }
    return m_stick->ExecuteCommand(cdb, direction, data) == kScsiStatusGood
               ? VendorResult::Good
               : VendorResult::CheckCondition;
}

} // namespace vdrive
