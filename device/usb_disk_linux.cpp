#include "device/usb_disk_linux.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool IsUsbDevice(const fs::path& device) {
    std::error_code error;
    const fs::path subsystem = fs::read_symlink(device / "subsystem", error);
    return !error && subsystem.filename() == "usb";
}

} // namespace

bool IsUsbDisk(const std::string& sysfsRoot, std::string_view diskName) {
    if (diskName.empty() || diskName.find('/') != std::string_view::npos || diskName == "." ||
        diskName == "..") {
        return false;
    }
    std::error_code error;
    const fs::path root = fs::canonical(sysfsRoot, error);
    if (error) {
        return false;
    }
    fs::path device = fs::canonical(root / "block" / fs::path(diskName), error);
    if (error) {
        return false;
    }
    // Walk up from the disk to the root of the tree: usb-storage and uas disks sit below
    // the USB interface and the USB device they belong to.
    while (device != root && device.has_relative_path()) {
        if (IsUsbDevice(device)) {
            return true;
        }
        device = device.parent_path();
    }
    return false;
}
