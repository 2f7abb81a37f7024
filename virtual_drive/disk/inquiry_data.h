// What INQUIRY answers: the standard data of a removable direct-access device and the
// vital product data pages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vdrive {

// The most blocks one READ or WRITE may move; longer transfers are refused, so that no
// command makes the unit hold more than 4 MiB.
inline constexpr std::uint32_t kMaxTransferBlocks = 8192;
// Transfers of this many blocks (4 KiB) and multiples suit the unit best.
inline constexpr std::uint32_t kOptimalGranularityBlocks = 8;

struct DiskIdentity {
    std::string vendor{"TESSALOK"};       // up to 8 characters
    std::string product{"Virtual Drive"}; // up to 16 characters
    std::string revision{"2.00"};         // up to 4 characters
    std::string serial{"0"};              // unit serial number
};

std::vector<std::uint8_t> StandardInquiry(const DiskIdentity& identity);

// Page `page` of the vital product data; none for a page the unit does not have.
std::optional<std::vector<std::uint8_t>> VpdPage(std::uint8_t page, const DiskIdentity& identity);

} // namespace vdrive
