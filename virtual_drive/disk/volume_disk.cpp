#include "virtual_drive/disk/volume_disk.h"

#include "virtual_drive/disk/block_device.h"
#include "virtual_drive/disk/vendor_port.h"
#include "virtual_drive/volume_set.h"

namespace vdrive {

std::unique_ptr<DiskImage> MakeFormattedMemoryImage(std::uint32_t volumeId) {
    FatDiskOptions options;
    options.volumeId = volumeId;
    return MakeMemoryImage(MakeFatDisk(options));
}

std::unique_ptr<IScsiLogicalUnit> MakeVolumeDisk(Volume& volume, std::mutex& modelMutex,
                                                 std::unique_ptr<DiskImage> image) {
    if (!image) {
        image = MakeFormattedMemoryImage((FatDiskOptions{}.volumeId & 0xFFFFFF00u) |
                                         static_cast<std::uint8_t>(volume.letter));
    }
    DiskIdentity identity;
    identity.product = volume.drive ? "Fingerprint Disk" : "USB Flash Disk";
    identity.serial = std::string("VDRIVE-") + volume.letter;
    return std::make_unique<BlockDevice>(
        std::move(image), std::make_unique<VolumePort>(volume, modelMutex), std::move(identity));
}

} // namespace vdrive
