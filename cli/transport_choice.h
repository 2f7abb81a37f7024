// Which transport the command line talks through, and how it names the drive.
#pragma once

#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "device/scsi_transport.h"

struct ChosenTransport {
    std::unique_ptr<IScsiTransport> transport;
    // Mask of the letters the drive search may try; all present ones unless --drive.
    bool limitToLetter = false;
    char letter = 0;
};

// The virtual drive (--vdrive), the system transport on one device (--device), or the
// platform's own transport with its volumes.
ChosenTransport ChooseTransport(const CliOptions& options);

// How the user knows drive `letter`: "E:" for drive letters and the virtual drive, the
// device path on Linux.
std::string DriveName(const CliOptions& options, char letter);

// The platform's name for a letter of its own transport (platform file).
std::string SystemDriveName(char letter);
