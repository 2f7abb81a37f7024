// tessalok-vdrive's USB front door as the server process runs it: every volume's disk (the
// one every door shares) as a USB mass-storage device over USB/IP, in letter order with
// bus ids "1-1", "1-2", ..., served on a thread of its own beside the other doors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "virtual_drive/disk/volume_disks.h"
#include "virtual_drive/usbip/server.h"

namespace vdrive::usbip {

class FrontDoor {
  public:
    FrontDoor() = default;
    ~FrontDoor() { Stop(); }
    FrontDoor(const FrontDoor&) = delete;
    FrontDoor& operator=(const FrontDoor&) = delete;

    // Exports the disks and starts listening and serving. False with `error` saying why
    // (an address in use). The disks must outlive the door.
    bool Start(VolumeDisks& disks, UsbipSettings settings, UsbipServer::Log log,
               std::string& error);
    std::uint16_t Port() const { return m_server ? m_server->Port() : 0; }
    // Ends every connection and waits for them.
    void Stop();
    // Asks the server to stop without waiting (safe in a signal handler).
    void RequestStop() {
        if (UsbipServer* server = m_server.get()) {
            server->Stop();
        }
    }

  private:
    std::vector<DoorUnit> m_units;
    std::unique_ptr<UsbipServer> m_server;
    std::thread m_thread;
};

} // namespace vdrive::usbip
