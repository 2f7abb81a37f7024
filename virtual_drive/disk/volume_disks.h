// The SCSI disk of every volume, one each whatever door its commands come through (iSCSI,
// USB): the medium, the unit attentions and the prevented removals are the disk's, so
// both doors see one drive.
//
//     VolumeDisks disks;
//     if (!disks.Build(volumes, images, error)) { report(error); }
//     for (DoorUnit& unit : disks.ForDoor("USB")) { serve(unit.letter, *unit.unit); }
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "virtual_drive/disk/logical_unit.h"

namespace vdrive {

class VolumeSet;

// One volume's disk as a door reaches it, its commands recorded as the door's.
struct DoorUnit {
    char letter = 0;
    bool fingerprintDrive = false;
    std::unique_ptr<IScsiLogicalUnit> unit;
    std::function<bool()> present; // the volume is plugged in (under the model lock)
};

class VolumeDisks {
  public:
    // A disk per volume of `volumes`, those in `images` on these image files (served in
    // place), the others in memory. False with `error` saying why (an image for no volume,
    // an image that cannot be served).
    bool Build(VolumeSet& volumes, const std::map<char, std::filesystem::path>& images,
               std::string& error);
    // The disks for `door` ("iSCSI", "USB"), in letter order. The set must outlive them.
    std::vector<DoorUnit> ForDoor(const char* door);

  private:
    VolumeSet* m_volumes = nullptr;
    std::map<char, std::unique_ptr<IScsiLogicalUnit>> m_disks;
};

} // namespace vdrive
