#include "virtual_drive/disk/vendor_port.h"

#include "virtual_drive/volume_set.h"

namespace vdrive {

VolumePort::VolumePort(Volume& volume, std::mutex& modelMutex)
    : m_drive(volume.drive.get()), m_stick(volume.stick.get()), m_modelMutex(modelMutex) {}

bool VolumePort::Present() {
    // While a vendor command holds the model, the plug state it had just before serves.
    std::unique_lock lock(m_modelMutex, std::try_to_lock);
    if (lock.owns_lock()) {
        m_present = m_drive == nullptr || m_drive->Plugged();
    }
    return m_present;
}

VendorResult VolumePort::Execute(const Cdb& cdb, ScsiDirection direction,
                                 std::span<std::uint8_t> data) {
    std::lock_guard lock(m_modelMutex);
    if (m_drive != nullptr) {
        m_present = m_drive->Plugged();
        if (!m_present) {
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
