// KV_Tessalok.exe: the drive volumes through SCSI pass-through.
#include "app/program_transport.h"
#include "device/system_transport.h"

std::unique_ptr<IScsiTransport> CreateProgramTransport() {
    return CreateSystemTransport();
}
