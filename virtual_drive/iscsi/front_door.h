// tessalok-vdrive's iSCSI front door as the server process runs it: one target per volume,
// each the volume's SCSI disk (the one every door shares), served on a thread of its own
// beside the protocol v1 server.
#pragma once

#include <cstdint>
#include <string>

#include "virtual_drive/disk/volume_disks.h"
#include "virtual_drive/iscsi/target_server.h"
#include "virtual_drive/serving_thread.h"

namespace vdrive::iscsi {

struct FrontDoorOptions {
    TargetSettings settings;
};

class FrontDoor {
  public:
    // Builds a target over each volume's disk and starts listening and serving. False with
    // `error` saying why (an address in use). The disks must outlive the door.
    bool Start(VolumeDisks& disks, FrontDoorOptions options, TargetServer::Log log,
               std::string& error);
    std::uint16_t Port() const { return m_serving.Port(); }
    // Ends every connection and waits for them.
    void Stop() { m_serving.Stop(); }
    // Asks the server to stop without waiting (safe in a signal handler).
    void RequestStop() { m_serving.RequestStop(); }

  private:
    ServingThread<TargetServer> m_serving;
};

} // namespace vdrive::iscsi
