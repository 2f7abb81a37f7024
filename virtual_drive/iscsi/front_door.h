// tessalok-vdrive's iSCSI front door as the server process runs it: one target per volume,
// each the volume's SCSI disk (the one every door shares), served on a thread of its own
// beside the protocol v1 server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "virtual_drive/iscsi/target_server.h"
#include "virtual_drive/disk/volume_disks.h"

namespace vdrive::iscsi {

struct FrontDoorOptions {
    TargetSettings settings;
};

class FrontDoor {
  public:
    FrontDoor() = default;
    ~FrontDoor() { Stop(); }
    FrontDoor(const FrontDoor&) = delete;
    FrontDoor& operator=(const FrontDoor&) = delete;

    // Builds a target over each volume's disk and starts listening and serving. False with
    // `error` saying why (an address in use). The disks must outlive the door.
    bool Start(VolumeDisks& disks, FrontDoorOptions options, TargetServer::Log log,
               std::string& error);
    std::uint16_t Port() const { return m_server ? m_server->Port() : 0; }
    // Ends every connection and waits for them.
    void Stop();
    // Asks the server to stop without waiting (safe in a signal handler).
    void RequestStop() {
        if (TargetServer* server = m_server.get()) {
            server->Stop();
        }
    }

  private:
    std::unique_ptr<TargetServer> m_server;
    std::thread m_thread;
};

} // namespace vdrive::iscsi
