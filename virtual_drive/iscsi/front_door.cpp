#include "virtual_drive/iscsi/front_door.h"

namespace vdrive::iscsi {

bool FrontDoor::Start(VolumeDisks& disks, FrontDoorOptions options, TargetServer::Log log,
                      std::string& error) {
    TargetList targets;
    for (DoorUnit& unit : disks.ForDoor("iSCSI")) {
        targets.push_back({TargetNameFor(unit.letter), std::move(unit.unit)});
    }
    const std::string host = options.settings.host;
    m_server = std::make_unique<TargetServer>(std::move(targets), std::move(options.settings),
                                              std::move(log));
    if (!m_server->Listen(error)) {
        error = "cannot listen for iSCSI on " + host + ": " + error;
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

} // namespace vdrive::iscsi
