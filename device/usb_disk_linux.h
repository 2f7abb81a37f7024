// Which whole disks hang below a USB device, as sysfs shows them. The drive search on
// Linux sends its vendor command only to those unless asked to try every disk: the drive
// is always a USB device, and an unknown vendor command has no business reaching an
// internal disk.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "device/scsi_transport.h"
#include "device/system_transport.h"

inline constexpr const char* kSysfsRoot = "/sys";
inline constexpr const char* kDevRoot = "/dev";

// True when `sysfsRoot`/block/`diskName` resolves to a device with a USB device among its
// ancestors (an ancestor whose `subsystem` link ends in "usb"). False for anything else,
// a missing entry or an unreadable tree included.
bool IsUsbDisk(const std::string& sysfsRoot, std::string_view diskName);

// The SCSI generic node ("sg2") of the whole disk `diskName`, as
// `sysfsRoot`/block/`diskName`/device/scsi_generic/ names it; empty when the disk has
// none (the sg module is not loaded) or the entry is unreadable or not an sg name.
std::string ScsiGenericNameOf(const std::string& sysfsRoot, std::string_view diskName);

// The SG_IO transport on the whole disks `devRoot`/sda.. sdx with their sysfs entries under
// `sysfsRoot`, so that tests can point both at a fixture tree. Each disk's commands go to
// its SCSI generic node `devRoot`/sgN where it has one, else to the disk node.
std::unique_ptr<IScsiTransport> CreateDiskTransport(DiskScope scope, std::string sysfsRoot,
                                                    std::string devRoot);
