// KV_Tessalok_Demo.exe: the virtual drive over TCP, 127.0.0.1:48150 unless the
// environment variable TESSALOK_VDRIVE names another "host:port" (for the tests).
#include <cstdlib>

#include "app/program_transport.h"
#include "app/vdrive_address.h"
#include "device/vdrive_transport.h"

std::unique_ptr<IScsiTransport> CreateProgramTransport() {
    const VirtualDriveAddress defaults{vdrive_wire::kDefaultHost, vdrive_wire::kDefaultPort};
    const char* configured = std::getenv("TESSALOK_VDRIVE");
    const VirtualDriveAddress address =
        configured != nullptr ? ParseVirtualDriveAddress(configured, defaults) : defaults;
    return std::make_unique<VirtualDriveTransport>(address.host, address.port);
}
