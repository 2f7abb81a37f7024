#include <string>

#include "cli/transport_choice.h"

std::string SystemDriveName(char letter) {
    return std::string{letter, ':'};
}
