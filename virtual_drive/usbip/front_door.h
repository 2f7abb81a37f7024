// tessalok-vdrive's USB front door as the server process runs it: every volume's disk (the
// one every door shares) as a USB mass-storage device over USB/IP, in letter order with
// bus ids "1-1", "1-2", ..., served on a thread of its own beside the other doors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "virtual_drive/disk/volume_disks.h"
#include "virtual_drive/serving_thread.h"
#include "virtual_drive/usbip/server.h"

namespace vdrive::usbip {

class FrontDoor {
  public:
    // Exports the disks and starts listening and serving. False with `error` saying why
    // (an address in use). The disks must outlive the door.
    bool Start(VolumeDisks& disks, UsbipSettings settings, UsbipServer::Log log,
               std::string& error);
    std::uint16_t Port() const { return m_serving.Port(); }
    // Ends every connection and waits for them.
    void Stop() { m_serving.Stop(); }
    // Asks the server to stop without waiting (safe in a signal handler).
    void RequestStop() { m_serving.RequestStop(); }

  private:
    std::vector<DoorUnit> m_units; // declared first: the server goes before them
    ServingThread<UsbipServer> m_serving;
};

} // namespace vdrive::usbip
