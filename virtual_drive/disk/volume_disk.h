// Factories for the SCSI disk of each virtual drive volume, for the iSCSI front door.
//
//     std::mutex& models = ...;               // the lock around every drive model call
//     auto lun = MakeVolumeDisk(volume, models, MakeFormattedMemoryImage());
//     auto opened = OpenImageFile(path);      // --disk-image X=PATH
//     if (!opened.image) { report(opened.error); }
//     auto lun = MakeVolumeDisk(volume, models, std::move(opened.image));
#pragma once

#include <memory>
#include <mutex>

#include "virtual_drive/disk/disk_image.h"
#include "virtual_drive/disk/fat_image.h"
#include "virtual_drive/disk/logical_unit.h"

namespace vdrive {

struct Volume;

// 16 MiB in memory: an MBR and one empty FAT16 volume labelled "TESSALOK". `volumeId` is
// the volume's serial number and the disk's signature; disks attached to one host need
// different ones (Windows keeps a second disk with a known signature offline).
std::unique_ptr<DiskImage>
MakeFormattedMemoryImage(std::uint32_t volumeId = FatDiskOptions{}.volumeId);

// The logical unit of `volume` with `image` as its medium (a null image gets the formatted
// memory image, its signature and serial number chosen by the volume's letter). Vendor commands go
// to the volume's model under `modelMutex`; the volume's model and the mutex must outlive the unit.
std::unique_ptr<IScsiLogicalUnit> MakeVolumeDisk(Volume& volume, std::mutex& modelMutex,
                                                 std::unique_ptr<DiskImage> image = nullptr);

} // namespace vdrive
