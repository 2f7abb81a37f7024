#include "device/usb_disk_linux.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool IsPlainName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

bool IsScsiGenericName(const std::string& name) {
    return name.size() > 2 && name.compare(0, 2, "sg") == 0 &&
           name.find_first_not_of("0123456789", 2) == std::string::npos;
}

bool IsUsbDevice(const fs::path& device) {
    std::error_code error;
    const fs::path subsystem = fs::read_symlink(device / "subsystem", error);
    return !error && subsystem.filename() == "usb";
}

} // namespace

bool IsUsbDisk(const std::string& sysfsRoot, std::string_view diskName) {
    if (!IsPlainName(diskName)) {
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

std::string ScsiGenericNameOf(const std::string& sysfsRoot, std::string_view diskName) {
    if (!IsPlainName(diskName)) {
        return {};
    }
    // A SCSI device has at most one generic node; its folder carries the node's name.
    std::error_code error;
    const fs::path folder =
        fs::path(sysfsRoot) / "block" / fs::path(diskName) / "device" / "scsi_generic";
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (IsScsiGenericName(name)) {
            return name;
        }
    }
    return {};
}
