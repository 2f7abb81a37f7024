// A volume's disk as one door reaches it: every command goes on to the disk and is
// recorded in the volume set's command log as that door's.
#pragma once

#include "virtual_drive/command_log.h"
#include "virtual_drive/disk/logical_unit.h"

namespace vdrive {

class RecordedUnit final : public IScsiLogicalUnit {
  public:
    // `door` ("iSCSI", "USB") must outlive the unit, as must `disk` and `log`.
    RecordedUnit(IScsiLogicalUnit& disk, const char* door, char letter, CommandLog& log)
        : m_disk(disk), m_door(door), m_letter(letter), m_log(log) {}

    ScsiTaskResult Execute(const ScsiTask& task) override;
    void NexusLost(std::uint64_t nexus) override { m_disk.NexusLost(nexus); }
    void Reset() override { m_disk.Reset(); }

  private:
    IScsiLogicalUnit& m_disk;
    const char* m_door;
    char m_letter;
    CommandLog& m_log;
};

} // namespace vdrive
