// What a USB host needs that an iSCSI one does not: a failed command's sense data kept for
// the REQUEST SENSE that follows it, since a CSW carries no sense. Held for one host; any
// other command lets it go. Wraps the door's recorded disk, so REQUEST SENSE still
// reaches the disk and the command log.
#pragma once

#include <vector>

#include "virtual_drive/disk/logical_unit.h"

namespace vdrive::usbip {

class HeldSenseUnit final : public IScsiLogicalUnit {
  public:
    explicit HeldSenseUnit(IScsiLogicalUnit& unit) : m_unit(unit) {}

    ScsiTaskResult Execute(const ScsiTask& task) override;
    void NexusLost(std::uint64_t nexus) override { m_unit.NexusLost(nexus); }
    void Reset() override { m_unit.Reset(); }

  private:
    IScsiLogicalUnit& m_unit;
    std::vector<std::uint8_t> m_sense; // of the last command, when it failed
};

} // namespace vdrive::usbip
