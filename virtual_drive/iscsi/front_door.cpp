#include "virtual_drive/iscsi/front_door.h"

namespace vdrive::iscsi {

bool FrontDoor::Start(VolumeDisks& disks, FrontDoorOptions options, TargetServer::Log log,
                      std::string& error) {
    TargetList targets;
    for (DoorUnit& unit : disks.ForDoor("iSCSI")) {
        targets.push_back({TargetNameFor(unit.letter), std::move(unit.unit)});
    }
    const std::string host = options.settings.host;
    if (!m_serving.Start(std::make_unique<TargetServer>(
                             std::move(targets), std::move(options.settings), std::move(log)),
                         error)) {
        error = "cannot listen for iSCSI on " + host + ": " + error;
        return false;
    }
    return true;
}

} // namespace vdrive::iscsi
