// tessalok-vdrive's iSCSI front door as the server process runs it: one target per volume,
// each a SCSI disk over the volume's model (under the volume set's model lock), served on
// a thread of its own beside the protocol v1 server.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "virtual_drive/iscsi/target_server.h"
#include "virtual_drive/volume_set.h"

namespace vdrive::iscsi {

struct FrontDoorOptions {
    TargetSettings settings;
    std::map<char, std::filesystem::path> diskImages; // served in place; others in memory
};

class FrontDoor {
  public:
    FrontDoor() = default;
    ~FrontDoor() { Stop(); }
    FrontDoor(const FrontDoor&) = delete;
    FrontDoor& operator=(const FrontDoor&) = delete;

    // Builds the targets and starts listening and serving. False with `error` saying why
    // (an image that cannot be served, an image for no volume, an address in use).
    bool Start(VolumeSet& volumes, FrontDoorOptions options, TargetServer::Log log,
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
