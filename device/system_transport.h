// The transport of the platform the program runs on: Windows SCSI pass-through on the
// volumes "\\.\X:", Linux SG_IO on the whole disks /dev/sda.. /dev/sdx (drive letters
// 'C'.. 'Z', see device_letters.h; sent through each disk's /dev/sgN where it has one), by
// default only those attached through USB.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/scsi_transport.h"

// Which disks the Linux transport offers without an explicit list: those attached through
// USB (the drive is a USB device), or every disk. Windows searches its volumes either way.
enum class DiskScope { UsbOnly, Every };

std::unique_ptr<IScsiTransport> CreateSystemTransport(DiskScope scope = DiskScope::UsbOnly);

// The same transport on explicit device paths (UTF-8) in place of the platform's own
// volumes: the first path is drive 'C', the next 'D', and so on up to 'Z'. On Linux a
// listed path is present while it exists; on Windows every listed path counts as present
// (device paths such as "\\.\PhysicalDrive1" cannot be looked up without opening them).
std::unique_ptr<IScsiTransport> CreateSystemTransport(std::vector<std::string> devicePaths);
