#include <string>

#include "cli/transport_choice.h"
#include "device/device_letters.h"

std::string SystemDriveName(char letter) {
    const std::string disk = DiskNameForLetter(letter);
    return disk.empty() ? std::string{letter, ':'} : "/dev/" + disk;
}
