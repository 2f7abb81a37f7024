#include "cli/transport_choice.h"

#include "cli/interrupt.h"
#include "device/system_transport.h"
#include "device/vdrive_transport.h"

ChosenTransport ChooseTransport(const CliOptions& options) {
    ChosenTransport chosen;
    if (options.vdriveHost) {
        auto vdrive =
            std::make_unique<VirtualDriveTransport>(*options.vdriveHost, options.vdrivePort);
        vdrive->SetStopFlag(&InterruptFlag()); // Ctrl-C cuts the reply wait short
        chosen.transport = std::move(vdrive);
    } else if (options.devicePath) {
        // The one device given becomes drive 'C'.
        chosen.transport = CreateSystemTransport(std::vector<std::string>{*options.devicePath});
        chosen.limitToLetter = true;
        chosen.letter = 'C';
        return chosen;
    } else {
        chosen.transport = CreateSystemTransport();
    }
    if (options.driveLetter) {
        chosen.limitToLetter = true;
        chosen.letter = *options.driveLetter;
    }
    return chosen;
}

std::string DriveName(const CliOptions& options, char letter) {
    if (letter == 0)
        return {};
    if (options.devicePath)
        return *options.devicePath;
    if (options.vdriveHost)
        return std::string{letter, ':'};
    return SystemDriveName(letter);
}
