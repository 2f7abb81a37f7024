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
    m_server =
        std::make_unique<UsbipServer>(std::move(devices), std::move(settings), std::move(log));
    if (!m_server->Listen(error)) {
        error = "cannot listen for USB/IP on " + host + ": " + error;
        m_server.reset();
        return false;
    }
    m_thread = std::thread([server = m_server.get()] { server->Run(); });
    return true;
}

void FrontDoor::Stop() {
    RequestStop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_server.reset();
}

} // namespace vdrive::usbip
