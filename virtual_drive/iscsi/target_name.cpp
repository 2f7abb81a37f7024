#include "virtual_drive/iscsi/target_name.h"

#include <algorithm>
#include <cctype>

namespace vdrive::iscsi {

std::string TargetNameFor(char letter) {
    return "iqn.2026-12.org.tessalok:vdrive-" +
           std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(letter))));
}

const Target* FindTarget(const TargetList& targets, const std::string& name) {
    const auto found = std::find_if(targets.begin(), targets.end(),
                                    [&name](const Target& target) { return target.name == name; });
    return found == targets.end() ? nullptr : &*found;
}

} // namespace vdrive::iscsi
