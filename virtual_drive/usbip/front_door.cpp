#include "virtual_drive/usbip/front_door.h"

namespace vdrive::usbip {

bool FrontDoor::Start(VolumeDisks& disks, UsbipSettings settings, UsbipServer::Log log,
                      std::string& error) {
    m_units = disks.ForDoor("USB");
    std::vector<ExportedDevice> devices;
    for (std::size_t i = 0; i < m_units.size(); ++i) {
        ExportedDevice device = ExportVolume(i, m_units[i].letter, m_units[i].fingerprintDrive);
        device.disk = m_units[i].unit.get();
        device.present = m_units[i].present;
        devices.push_back(std::move(device));
    }
    const std::string host = settings.host;
    if (!m_serving.Start(
            std::make_unique<UsbipServer>(std::move(devices), std::move(settings), std::move(log)),
            error)) {
        error = "cannot listen for USB/IP on " + host + ": " + error;
        return false;
    }
    return true;
}

} // namespace vdrive::usbip
