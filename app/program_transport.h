// The transport the program talks to the drive through. The drive program and the demo
// differ only here: one file per executable defines it.
#pragma once

#include <memory>

#include "device/scsi_transport.h"

std::unique_ptr<IScsiTransport> CreateProgramTransport();
