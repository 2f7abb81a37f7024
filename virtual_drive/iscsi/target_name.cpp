#include "virtual_drive/iscsi/target_name.h"

#include <algorithm>
#include <cctype>

namespace vdrive::iscsi {

std::string TargetNameFor(char letter) {
    return "iqn.2026-12.org.tessalok:vdrive-" +
           std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(letter))));
}

const Target* FindTarget(const TargetList& targets, const std::string& name) {
    // iSCSI names compare without regard to case.
    const auto same = [&name](const Target& target) {
        return std::equal(name.begin(), name.end(), target.name.begin(), target.name.end(),
                          [](char a, char b) {
                              return std::tolower(static_cast<unsigned char>(a)) ==
                                     std::tolower(static_cast<unsigned char>(b));
                          });
    };
    const auto found = std::find_if(targets.begin(), targets.end(), same);
    return found == targets.end() ? nullptr : &*found;
}

} // namespace vdrive::iscsi
