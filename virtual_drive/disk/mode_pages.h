// MODE SENSE(6) and (10): the mode parameter header, an optional block descriptor and the
// caching and control pages. No page can be changed (there is no MODE SELECT).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "virtual_drive/disk/sense.h"

namespace vdrive {

struct ModeSenseRequest {
    bool tenByte = false; // MODE SENSE(10)
    bool disableBlockDescriptors = false;
    bool longLba = false;         // LLBAA, MODE SENSE(10) only
    std::uint8_t pageControl = 0; // 0 current, 1 changeable, 2 default, 3 saved
    std::uint8_t page = 0;
    std::uint8_t subpage = 0;
};

struct ModeSenseReply {
    std::vector<std::uint8_t> data;
    std::optional<scsi::SenseCode> refused; // ILLEGAL REQUEST with this code
};

ModeSenseReply ModeSense(const ModeSenseRequest& request, std::uint64_t blockCount);

} // namespace vdrive
